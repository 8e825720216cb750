#pragma once

#include "box/Box.h"
#include "box/Reference.h"

namespace repair {

// A fragmented reference lists no sample in its moov: its tracks learn what the repair
// needs (sample count, common duration, largest size, chunks, sync samples, first samples,
// B-frame delay) from its first fragments instead, a traf's run of samples being a chunk.
// Does nothing when the moov has no mvex or its tracks already list samples.
void learnFromFragments(const ByteSource& file, const BoxHeader& moov, Reference& ref);

} // namespace repair
