#pragma once

#include "box/Reference.h"

#include <string>

namespace repair {

// A track's codec in the words a person knows it by, read from its first sample
// description: "H.264 High", "ProRes 422 HQ", "MPEG-2", "LPCM" ... ; the sample entry's
// type when it is none of those.
std::string codecName(const RefTrack& track);

// The bits of a PCM sound sample in words ("24-bit", "32-bit float"); empty when the
// track is not PCM or does not say.
std::string pcmBits(const RefTrack& track);

} // namespace repair
