#pragma once

#include "walk/Recovered.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace repair {

// The sample tables of one output track, as they go into its stbl.
struct TrackTables {
    std::uint64_t sampleCount = 0;
    std::uint32_t fixedSize = 0;      // stsz sample_size when every sample is alike
    std::vector<std::uint32_t> sizes; // one per sample otherwise
    std::vector<std::pair<std::uint32_t, std::uint32_t>> durations; // stts runs: count, delta
    std::vector<std::uint64_t> chunkOffsets;                        // in the output file
    std::vector<std::uint32_t> chunkSamples;                        // samples in each chunk
    std::vector<std::uint32_t> syncSamples;        // 1-based; empty when every sample is sync
    std::vector<std::uint32_t> compositionOffsets; // in media time units; empty: none
    bool allSync = true;

    std::uint64_t duration() const;
};

// The tables of a recovered track. Offsets move by shift (output minus input position);
// stszSize is the sample size the reference's stsz states for a fixed-size track.
TrackTables buildTables(const RecoveredTrack& track, std::int64_t shift, std::uint32_t stszSize);

} // namespace repair
