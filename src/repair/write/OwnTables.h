#pragma once

#include "box/Reference.h"
#include "write/SampleTables.h"

#include <cstdint>

namespace repair {

// One track of a file that carries its own index: its complete sample tables, kept in
// decode order up to the first sample that the file does not hold whole.
struct OwnTrack {
    TrackTables tables;         // chunk offsets as in the file
    std::uint64_t listed = 0;   // samples the index lists
    std::uint64_t complete = 0; // of those, wholly inside the media data (kept or not)
    std::uint64_t keptEnd = 0;  // one past the last byte of a kept sample; 0: none kept
    // A track whose first fragment starts late: nothing is shown for emptyBefore (media
    // time), then the media from mediaTime (-1: from the start, no edit).
    std::uint64_t emptyBefore = 0;
    std::int64_t mediaTime = -1;
};

// Reads stsz, stsc, stco/co64, stts, ctts and stss of `track` (read by readReference from
// `file`) and keeps the samples that lie wholly in [dataBegin, dataEnd), stopping at the
// first that does not: real durations, composition offsets and sync flags, a partly kept
// chunk with fewer samples. Counts are trusted only as far as their box holds entries;
// memory grows with the entries kept.
OwnTrack readOwnTrack(const ByteSource& file, const Reference& ref, const RefTrack& track,
                      std::uint64_t dataBegin, std::uint64_t dataEnd);

} // namespace repair
