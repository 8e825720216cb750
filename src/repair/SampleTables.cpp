#include "SampleTables.h"

namespace repair {

TrackTables buildTables(const std::vector<Sample>& samples, int track, std::int64_t shift) {
    TrackTables t;
    bool inChunk = false;
    std::uint64_t chunkEnd = 0;
    for (const Sample& s : samples) {
        if (s.track != track) {
            inChunk = false;
            continue;
        }
        if (!inChunk || s.offset != chunkEnd) {
            t.chunkOffsets.push_back(
                static_cast<std::uint64_t>(static_cast<std::int64_t>(s.offset) + shift));
            t.chunkSamples.push_back(0);
            inChunk = true;
        }
        ++t.chunkSamples.back();
        chunkEnd = s.offset + s.size;
        t.sizes.push_back(s.size);
        if (s.sync) {
            t.syncSamples.push_back(static_cast<std::uint32_t>(t.sizes.size()));
        } else {
            t.allSync = false;
        }
    }
    if (t.allSync) {
        t.syncSamples.clear();
    }
    return t;
}

} // namespace repair
