#include "Interleave.h"

#include <algorithm>

namespace repair {
namespace {

// Masks longer than this come from references with absurd layouts; they are cut.
constexpr std::size_t kMaxPattern = 1u << 20;

struct PlacedChunk {
    std::uint64_t offset;
    int track;
    std::uint32_t samples;
};

std::vector<PlacedChunk> chunksInFileOrder(const Reference& ref) {
    std::vector<PlacedChunk> out;
    for (const auto& c : ref.video->chunks) {
        out.push_back({c.offset, kVideo, c.samples});
    }
    if (ref.audio) {
        for (const auto& c : ref.audio->chunks) {
            out.push_back({c.offset, kAudio, c.samples});
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const PlacedChunk& a, const PlacedChunk& b) {
        return a.offset < b.offset;
    });
    return out;
}

} // namespace

InterleavePredictor InterleavePredictor::fromReference(const Reference& ref, int maskGops,
                                                       int loopStart) {
    InterleavePredictor p;
    const auto& sync = ref.video->syncSamples;
    const bool allSync = !ref.video->hasStss;
    loopStart = std::clamp(loopStart, 1, std::max(maskGops, 1));
    std::uint32_t videoIndex = 0; // 1-based number of the last video sample placed
    int gop = 0;
    for (const auto& chunk : chunksInFileOrder(ref)) {
        for (std::uint32_t i = 0; i < chunk.samples && p.pattern_.size() < kMaxPattern; ++i) {
            if (chunk.track == kVideo) {
                ++videoIndex;
                const bool gopStart =
                    allSync || std::binary_search(sync.begin(), sync.end(), videoIndex);
                if (gopStart && ++gop > maskGops) {
                    return p;
                }
                if (gopStart && gop == loopStart) {
                    p.loop_ = p.pattern_.size();
                }
            }
            p.pattern_.push_back(static_cast<std::int8_t>(chunk.track));
        }
    }
    return p;
}

InterleavePredictor InterleavePredictor::fromSamplesPerChunk(int samplesPerChunk, bool hasAudio) {
    InterleavePredictor p;
    for (int track = kVideo; track <= (hasAudio ? kAudio : kVideo); ++track) {
        p.pattern_.insert(p.pattern_.end(), static_cast<std::size_t>(samplesPerChunk),
                          static_cast<std::int8_t>(track));
    }
    return p;
}

void InterleavePredictor::observe(int track) {
    if (pattern_.empty()) {
        return;
    }
    // Follow the mask; when the file departs from it, jump to the next place where the
    // mask agrees with what was found.
    for (std::size_t tries = 0; tries < pattern_.size(); ++tries) {
        const bool match = pattern_[at_] == track;
        advance();
        if (match) {
            return;
        }
    }
}

} // namespace repair
