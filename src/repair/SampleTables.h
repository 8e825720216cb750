#pragma once

#include "MediaWalker.h"

#include <cstdint>
#include <vector>

namespace repair {

// The sample tables of one output track, as they go into its stbl.
struct TrackTables {
    std::vector<std::uint32_t> sizes;
    std::vector<std::uint64_t> chunkOffsets;       // in the output file
    std::vector<std::uint32_t> chunkSamples;       // samples in each chunk
    std::vector<std::uint32_t> syncSamples;        // 1-based; empty when every sample is sync
    std::vector<std::uint32_t> compositionOffsets; // in media time units; empty: none
    bool allSync = true;
};

// Groups one track's samples into chunks: runs that lie back to back in the file with no
// other track's sample between them. Offsets move by shift (output minus input position).
TrackTables buildTables(const std::vector<Sample>& samples, int track, std::int64_t shift);

} // namespace repair
