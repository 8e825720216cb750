#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace repair {

struct RecoveredChunk {
    std::uint64_t offset = 0; // in the broken file
    std::uint32_t samples = 0;
};

// What the walk found of one track. Samples of one size are kept per chunk only, so an
// hour of PCM audio costs a few thousand entries, not one per audio frame.
struct RecoveredTrack {
    std::vector<RecoveredChunk> chunks;
    std::vector<std::uint32_t> sizes; // one per sample; empty when every sample is fixedSize
    std::uint32_t fixedSize = 0;
    std::vector<std::uint32_t> syncSamples; // 1-based
    bool allSync = true;
    std::uint64_t samples = 0;
    std::uint64_t bytes = 0;
    // Where damage took samples away: after sample n (1-based), the time of this many
    // samples is missing, so the samples after it keep their times.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> gaps;
    std::uint64_t lost = 0; // samples lost to damage, all gaps together
};

// A damaged stretch passed over: its bytes, and when in the recording it came (the
// anchor's time there, in seconds).
struct DamagedStretch {
    std::uint64_t bytes = 0;
    double at = 0;
};

// The outcome of a walk over the media data.
struct WalkResult {
    std::vector<RecoveredTrack> tracks; // in the reference's track order
    std::uint64_t begin = 0;            // where the media data starts
    std::uint64_t limit = 0;            // where it ends (the cut, a zero tail, the recorded end)
    std::uint64_t stoppedAt = 0;
    std::uint64_t lostToCut = 0; // bytes of an incomplete chunk or sample at the cut
    std::string stopReason;
    bool stoppedEarly = false;      // recognition failed before the end of the data
    std::uint64_t skippedBytes = 0; // damaged stretches passed over
    int stretches = 0;
    std::vector<DamagedStretch> damage; // each stretch, in file order

    std::uint64_t dataEnd = 0; // one past the last recovered byte
    std::string outOfTime;     // why the tracks did not come back in time; empty when they did
    // A chunk that ended before its track's samples did (the next ones taken for opaque
    // bytes): that track is short of them. Empty when none did.
    std::string endedEarly;
    // Zeros after the limit that a camera preallocated: left out of the media data.
    std::uint64_t zeroTail = 0;

    // Bytes of the media data that the walk explained: recovered samples and what the cut
    // took of the last one.
    std::uint64_t accountedBytes() const {
        std::uint64_t n = lostToCut;
        for (const auto& t : tracks) {
            n += t.bytes;
        }
        return n;
    }
};

} // namespace repair
