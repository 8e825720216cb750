#pragma once

#include "box/ByteSource.h"
#include "box/Reference.h"
#include "walk/Recovered.h"

#include <string>

namespace repair {

struct DecoderSetup;

// What the reference's sample description describes, as its own first sample decodes
// with it: "1280x720 High"; empty when it does not.
std::string refLooks(const RefTrack& t, const DecoderSetup& setup, const ByteSource& refFile);

// Whether the recording fits the reference: each track's first and last pictures (or a
// few sound frames at either end) decoded with the sample description the result will
// carry. Throws RepairError (mismatch) when none of a track's samples checked decode;
// returns why the result is not whole when only some do (damage hit them), else nothing.
// Tracks of codecs libavcodec is not asked about are not checked.
std::string checkDecodes(const Reference& ref, const ByteSource& refFile, const WalkResult& walk,
                         const ByteSource& broken);

} // namespace repair
