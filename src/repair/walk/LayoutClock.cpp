// Muxers that interleave by timestamp (GStreamer's qtmux and mp4mux) write next the chunk of
// the track whose next sample is due first, and close it once it spans their interleave
// time. Chunk periods of the tracks differ (eight pictures against thirteen sound buffers),
// so the order of chunks is no fixed cycle: it drifts, and a track now and then has two
// chunks in a row. Such a reference is told by replaying its chunks against each track's
// clock.
#include "walk/Layout.h"

#include <algorithm>

namespace repair {
namespace {

// Chunks the replay must explain, and the share of them it may miss (one in twenty).
constexpr std::uint64_t kMinClockedChunks = 8;
constexpr std::uint64_t kMissesPer = 20;

} // namespace

bool Layout::onClock(int t) const {
    const PerTrack& p = tracks_[idx(t)];
    return p.sampleSeconds > 0 && p.chunksSeen >= 2 && !p.writtenOnce;
}

// Ties go either way: two tracks due at once are written in the muxer's own pad order. A
// camera's fixed cycle may follow the clocks too: only a reference that shows a track's
// chunks twice in a row is read by them.
void Layout::learnClock(const std::vector<Placed>& all) {
    std::vector<std::uint64_t> samples(tracks_.size());
    std::vector<std::size_t> left(tracks_.size());
    for (const auto& c : all) {
        ++left[idx(c.track)];
    }
    std::uint64_t checked = 0, misses = 0, repeats = 0;
    int before = -1;
    for (const auto& c : all) {
        repeats += c.track == before;
        before = c.track;
        const auto t = idx(c.track);
        --left[t];
        if (!onClock(c.track)) {
            continue;
        }
        double due = secondsOf(c.track, samples[t]);
        for (std::size_t o = 0; o < tracks_.size(); ++o) {
            // A track whose chunks are all written is off the clock.
            if (o != t && onClock(static_cast<int>(o)) && left[o] > 0) {
                due = std::min(due, secondsOf(static_cast<int>(o), samples[o]));
            }
        }
        const double tolerance = 1e-6 + tracks_[t].sampleSeconds / 2;
        ++checked;
        misses += secondsOf(c.track, samples[t]) > due + tolerance;
        samples[t] += c.samples;
    }
    clocked_ = repeats > 0 && checked >= kMinClockedChunks && misses * kMissesPer <= checked;
    if (!clocked_) {
        return;
    }
    // Any track on the clock may follow itself, when the other's next sample is due later.
    for (std::size_t t = 0; t < tracks_.size(); ++t) {
        auto& next = tracks_[t].next;
        if (onClock(static_cast<int>(t)) &&
            std::find(next.begin(), next.end(), static_cast<int>(t)) == next.end()) {
            next.push_back(static_cast<int>(t));
        }
    }
}

} // namespace repair
