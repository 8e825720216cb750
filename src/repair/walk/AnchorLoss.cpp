// How many of the anchor's (video's) samples a damaged stretch took. The stream's own
// counters tell it up to whole periods of theirs; where a camera writes a steady number of
// pictures a chunk, the first chunk after the damage tells where on that grid it resumed;
// the bytes passed over choose what those two leave open. The other tracks, placed against
// the anchor before its count was settled, move with it.
#include "walk/ChunkWalker.h"

#include <algorithm>
#include <cmath>

namespace repair {
namespace {

// Counts asked of the counters past four times the byte estimate, and how far the grid
// of the anchor's chunks is followed.
constexpr std::uint64_t kGridSlack = 64;
constexpr std::uint64_t kMaxGridSteps = 1u << 24;

} // namespace

void ChunkWalker::openLoss(std::uint64_t after, double estimate) {
    loss_ = {};
    loss_.open = true;
    loss_.settling = true;
    loss_.after = after;
    loss_.estimate = std::max(estimate, 0.0);
}

// At the start of the anchor's first chunk after the damage.
void ChunkWalker::countLoss() {
    const int a = layout_.anchor();
    if (!loss_.open || loss_.asked || a < 0) {
        return;
    }
    loss_.asked = true;
    const auto upTo = static_cast<std::uint64_t>(loss_.estimate * 4) +
                      std::uint64_t{layout_.maxCount(a)} * 4 + kGridSlack;
    loss_.counted = codecs_[idx(a)]->lostBefore(media_, pos_, upTo);
    if (!loss_.counted.empty()) {
        gridCount_ = 0;
        setAnchorLoss(nearest(loss_.counted));
    }
}

// Of counts the content allows, the one nearest to what the bytes say.
std::uint64_t ChunkWalker::nearest(const std::vector<std::uint64_t>& counts) const {
    return *std::min_element(counts.begin(), counts.end(), [&](std::uint64_t x, std::uint64_t y) {
        return lossOff(x) < lossOff(y);
    });
}

// How far a count of samples lost lies from what the bytes say: where the damage hit only
// the anchor, from its bytes as the count's keyframes and other samples fill them (a lost
// keyframe weighs as much as a dozen other pictures); else from the estimate.
double ChunkWalker::lossOff(std::uint64_t n) const {
    const KeyedBytes& k = loss_.keyed;
    return k.stretch > 0 ? std::abs(k.bytesOf(loss_.after, n) - static_cast<double>(k.stretch)) /
                               std::max(k.otherBytes, 1.0)
                         : std::abs(static_cast<double>(n) - loss_.estimate);
}

double KeyedBytes::bytesOf(std::uint64_t have, std::uint64_t lost) const {
    // Keyframes among samples have + 1 .. have + lost.
    const auto keysUpTo = [&](std::uint64_t last) {
        return last < lastKey ? 0 : (last - lastKey) / period;
    };
    const std::uint64_t keys = keysUpTo(have + lost) - keysUpTo(have);
    return static_cast<double>(keys) * keyBytes + static_cast<double>(lost - keys) * otherBytes;
}

// After that chunk, `samples` long and `whole` unless the data ended in it: on a steady grid
// it was the end of some grid chunk, which with the counters pins down the samples lost.
void ChunkWalker::closeLoss(std::uint32_t samples, bool whole) {
    const int a = layout_.anchor();
    if (!loss_.open) {
        return;
    }
    loss_.open = false;
    const auto& allowed = loss_.counted;
    if (allowed.empty() || !whole || layout_.patternLength(a) == 0) {
        return;
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> fit; // (lost, next grid chunk)
    const Grid grid = loss_.laterChunk ? loss_.nextGrid : loss_.grid;
    std::uint64_t start = grid.start;
    for (std::uint64_t k = grid.chunk;
         k < grid.chunk + kMaxGridSteps && start <= loss_.after + allowed.back(); ++k) {
        const std::uint32_t count = layout_.countsFor(a, k).front();
        if (count <= 1) {
            return;
        }
        const std::uint64_t resumed = start + count - std::min(count, samples);
        start += count;
        if (count >= samples && resumed >= loss_.after &&
            std::binary_search(allowed.begin(), allowed.end(), resumed - loss_.after)) {
            fit.emplace_back(resumed - loss_.after, k + 1);
        }
    }
    if (fit.empty()) {
        return;
    }
    const auto best = std::min_element(fit.begin(), fit.end(), [&](const auto& x, const auto& y) {
        return lossOff(x.first) < lossOff(y.first);
    });
    chunksTaken_[idx(a)] = best->second;
    loss_.chunkSamples = samples;
    loss_.chunkCount = layout_.countsFor(a, best->second - 1).front();
    setAnchorLoss(best->first);
}

// A time code met later in the anchor's stream tells the count exactly: it beats what the
// counters and the grid allowed, and the tracks placed since move with it.
void ChunkWalker::settleLoss() {
    if (!loss_.settling) {
        return;
    }
    if (const auto n = codecs_[idx(layout_.anchor())]->settledLoss()) {
        loss_.settling = false;
        setAnchorLoss(*n);
    }
}

// Sets track t's gap after sample `after` to n samples (none when n is 0), keeping the
// gaps in order and the lost count whole.
void ChunkWalker::setGap(int t, std::uint64_t after, std::uint64_t n) {
    RecoveredTrack& r = result_.tracks[idx(t)];
    auto it =
        std::find_if(r.gaps.begin(), r.gaps.end(), [&](const auto& g) { return g.first == after; });
    if (it != r.gaps.end()) {
        r.lost -= it->second;
        if (n == 0) {
            r.gaps.erase(it);
        } else {
            it->second = n;
        }
    } else if (n > 0) {
        const auto at =
            std::upper_bound(r.gaps.begin(), r.gaps.end(), std::make_pair(after, std::uint64_t{0}));
        r.gaps.insert(at, {after, n});
    }
    r.lost += n;
}

std::uint64_t ChunkWalker::gapAt(int t, std::uint64_t after) const {
    for (const auto& [at, n] : result_.tracks[idx(t)].gaps) {
        if (at == after) {
            return n;
        }
    }
    return 0;
}

void ChunkWalker::setAnchorLoss(std::uint64_t n) {
    const int a = layout_.anchor();
    const auto old = static_cast<double>(gapAt(a, loss_.after));
    setGap(a, loss_.after, n);
    if (result_.tracks[idx(a)].samples > loss_.after) {
        anchorChunk_.second = anchorChunk_.second + n - static_cast<std::uint64_t>(old);
    }
    // A chunk that came before the anchor's first one after the damage was timed against
    // that chunk's start; where the grid tells it, the start moves by whole chunks only.
    const double resumed = static_cast<double>(loss_.after + n);
    const double chunkStart = loss_.chunkCount >= loss_.chunkSamples && loss_.chunkCount > 0
                                  ? resumed + loss_.chunkSamples - loss_.chunkCount
                                  : resumed;
    for (const auto& p : loss_.placed) {
        const double moved = (p.beforeAnchor ? chunkStart : resumed) - p.anchorAt;
        const double behind =
            p.behind + moved * layout_.secondsOf(a, 1) / layout_.secondsOf(p.track, 1);
        setGap(p.track, p.after,
               static_cast<std::uint64_t>(std::max<long long>(std::llround(behind), 0)));
    }
}

} // namespace repair
