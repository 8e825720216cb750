#pragma once

#include "Reference.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repair {

enum Track : int { kNoTrack = -1, kVideo = 0, kAudio = 1 };

// Which track the next sample of the broken file most likely belongs to, from the
// reference's chunk layout (the interleaving mask) or from a fixed samples-per-chunk
// count. Content recognition decides first; this only settles what it cannot.
class InterleavePredictor {
public:
    InterleavePredictor() = default;

    // The sample order of the reference's first maskGops GOPs, repeated from GOP loopStart
    // (both counted from 1).
    static InterleavePredictor fromReference(const Reference& ref, int maskGops, int loopStart);
    // samplesPerChunk video samples, then as many audio samples, and so on.
    static InterleavePredictor fromSamplesPerChunk(int samplesPerChunk, bool hasAudio);

    int expect() const { return pattern_.empty() ? int{kNoTrack} : int{pattern_[at_]}; }
    void observe(int track);
    std::size_t size() const { return pattern_.size(); }
    std::size_t loopStart() const { return loop_; }

private:
    std::vector<std::int8_t> pattern_;
    std::size_t loop_ = 0;
    std::size_t at_ = 0;
    void advance() { at_ = at_ + 1 < pattern_.size() ? at_ + 1 : loop_; }
};

} // namespace repair
