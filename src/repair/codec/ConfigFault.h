#pragma once

#include <string>

namespace repair {

struct RefTrack;

// Why the decoder configuration of a track's first sample entry does not read ("" when it
// does, or the codec carries none): avcC, hvcC, and the esds of AAC sound.
std::string configFault(const RefTrack& track);

} // namespace repair
