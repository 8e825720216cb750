#include "write/SampleTables.h"

namespace repair {

std::uint64_t TrackTables::duration() const {
    std::uint64_t d = 0;
    for (const auto& [count, delta] : durations) {
        d += std::uint64_t{count} * delta;
    }
    return d;
}

TrackTables buildTables(const RecoveredTrack& r, std::int64_t shift, std::uint32_t stszSize) {
    TrackTables t;
    t.sampleCount = r.samples;
    t.sizes = r.sizes;
    if (t.sizes.empty()) {
        t.fixedSize = stszSize != 0 ? stszSize : r.fixedSize;
    }
    for (const auto& c : r.chunks) {
        t.chunkOffsets.push_back(
            static_cast<std::uint64_t>(static_cast<std::int64_t>(c.offset) + shift));
        t.chunkSamples.push_back(c.samples);
    }
    t.allSync = r.allSync;
    if (!r.allSync) {
        t.syncSamples = r.syncSamples;
    }
    return t;
}

} // namespace repair
