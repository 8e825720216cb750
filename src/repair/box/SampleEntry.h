#pragma once

#include "box/Box.h"
#include "box/Reference.h"

namespace repair {

// Reads the first sample description of an stsd box: codec type, sound fields and, for
// avc1/avc3, hvc1/hev1 and mp4a, the bytes of the decoder configuration.
void readSampleEntry(const ByteSource& src, const BoxHeader& stsd, RefTrack& track);

} // namespace repair
