// Keeping the tracks in time across what damage took: the anchor (video) by its own
// counters or its chunk grid, the others by the reference's layout against it.
#include "walk/ChunkWalker.h"

#include <algorithm>
#include <cmath>

namespace repair {
namespace {

// How far the chunk grid of the anchor is followed to place it after damage.
constexpr std::uint64_t kMaxGridChunks = 1u << 24;
// The anchor's last samples whose middle size is its typical one.
constexpr std::size_t kTypicalOf = 32;

// Damage no longer than one of the anchor's chunks most likely hit only the anchor.
bool withinOneChunk(const RecoveredTrack& r, std::uint64_t stretch) {
    return !r.chunks.empty() && stretch <= r.bytes / r.chunks.size();
}

double middleOf(std::vector<std::uint32_t> v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

} // namespace

void ChunkWalker::noteDamage(std::uint64_t bytes) {
    result_.skippedBytes += bytes;
    ++result_.stretches;
    const int a = layout_.anchor();
    result_.damage.push_back({bytes, a < 0 ? 0.0 : timeOf(a)});
}

double ChunkWalker::anchorTime() const {
    const RecoveredTrack& r = result_.tracks[idx(layout_.anchor())];
    return static_cast<double>(r.samples + r.lost);
}

double ChunkWalker::timeOf(int t) const {
    const RecoveredTrack& r = result_.tracks[idx(t)];
    return layout_.secondsOf(t, r.samples + r.lost);
}

// Damage from `from` to `to`; the media resumes at `resume` with a sample of track
// `resumes`. The anchor (video) resumes after as many pictures as its own counters say were
// lost, else at the time that the bytes since its last chunk began take at the rate seen
// so far; the other tracks catch up when their next chunk comes.
void ChunkWalker::passDamage(std::uint64_t from, std::uint64_t to, std::uint64_t resume,
                             int resumes) {
    loss_.open = false;
    loss_.settling = false;
    const double media = static_cast<double>(from - media_.begin() - result_.skippedBytes);
    noteDamage(to - from);
    const int a = layout_.anchor();
    if (a < 0 || layout_.secondsOf(a, 1) <= 0 || anchorChunk_.first > from) {
        return;
    }
    // Bytes recognised against the time of the samples they hold: what damage took is in
    // neither, so earlier losses do not slow the rate and inflate every later one.
    const double seen = layout_.secondsOf(a, result_.tracks[idx(a)].samples);
    const double rate = seen > 0 && media > 0 ? media / seen : layout_.bytesPerSecond();
    if (rate <= 0) {
        return;
    }
    afterGap_.assign(afterGap_.size(), true);
    RecoveredTrack& r = result_.tracks[idx(a)];
    const double at = layout_.secondsOf(a, anchorChunk_.second) +
                      static_cast<double>(resume - anchorChunk_.first) / rate;
    const bool between = onlyBetween(resumes, from, to - from);
    const double lost =
        between ? 0.0 : at / layout_.secondsOf(a, 1) - static_cast<double>(r.samples + r.lost);
    const bool later = prev_ >= 0 && closesAnchorChunk(prev_);
    const std::uint64_t n = onChunkGrid(a, std::max(lost, 0.0), gridOrigin(a, later));
    if (n > 0 && r.samples > 0) {
        r.gaps.emplace_back(r.samples, n);
        r.lost += n;
    }
    afterGap_[idx(a)] = false;
    // The anchor's own counters, asked when its first chunk after the damage comes, beat
    // the bytes: these only choose between what the counters cannot tell apart.
    openLoss(r.samples, resumes == a ? lostWithin(a, from, resume, lost) : lost);
    if (resumes == a && !between) {
        loss_.keyed = keyedBytes(a, resume - from);
    }
    loss_.grid = gridOrigin(a, false);
    loss_.nextGrid = gridOrigin(a, true);
    loss_.laterChunk = later;
}

// The damage fits in one chunk of a track that the layout puts between the chunk taken last
// and the track the media resumes with, in one cycle: it took that chunk and nothing of the
// anchor's (a sound chunk wiped between the video and its metadata costs the video nothing).
// Where the anchor itself resumes, its last chunk must have ended whole right where the
// damage began: otherwise the damage may have taken the rest of it.
bool ChunkWalker::onlyBetween(int resumes, std::uint64_t from, std::uint64_t bytes) const {
    const int a = layout_.anchor();
    if (prev_ < 0 || resumes < 0 || (resumes == a && !anchorEndedWhole(from))) {
        return false;
    }
    for (int x : layout_.successors(prev_)) {
        const auto& after = layout_.successors(x);
        const std::uint64_t chunk =
            std::uint64_t{std::max(layout_.maxCount(x), 1u)} * layout_.largestSampleOf(x);
        if (x != a && std::find(after.begin(), after.end(), resumes) != after.end() &&
            bytes <= chunk) {
            return true;
        }
    }
    return false;
}

// The chunk taken last is the anchor's, holds as many samples as the layout gives its
// chunks, and ends at `at`.
bool ChunkWalker::anchorEndedWhole(std::uint64_t at) const {
    const int a = layout_.anchor();
    const auto& chunks = result_.tracks[idx(a)].chunks;
    return prev_ == a && result_.dataEnd == at && !chunks.empty() &&
           layout_.knownCount(a, chunks.back().samples);
}

// A chunk of track t ends the anchor's chunk before it: t is another track that keeps a
// steady share of the cycle (not a rare sample such as a timecode, which a camera may write
// in the middle of a video chunk).
bool ChunkWalker::closesAnchorChunk(int t) const {
    const int a = layout_.anchor();
    return t != a && 2 * layout_.chunksSeen(t) >= layout_.chunksSeen(a);
}

// The anchor's chunks are counted on from the last one taken before the damage: its start
// and its place in the pattern (the file's own phase, which need not be the reference's).
// Once another track's chunk has followed it, the anchor resumes in a later one.
ChunkWalker::Grid ChunkWalker::gridOrigin(int a, bool later) const {
    const std::uint64_t taken = chunksTaken_[idx(a)];
    if (taken == 0 || layout_.patternLength(a) == 0) {
        return {};
    }
    const Grid g{anchorChunk_.second, taken - 1};
    return later ? Grid{g.start + layout_.countsFor(a, g.chunk).front(), g.chunk + 1} : g;
}

// Damage no longer than one of the anchor's chunks most likely hit only the anchor: its
// typical sample then tells the pictures lost better than the whole media's bytes per
// second.
double ChunkWalker::lostWithin(int a, std::uint64_t from, std::uint64_t resume,
                               double mixed) const {
    const RecoveredTrack& r = result_.tracks[idx(a)];
    const std::uint64_t stretch = resume - from;
    if (r.sizes.size() < kTypicalOf || !withinOneChunk(r, stretch)) {
        return mixed;
    }
    const double typical =
        middleOf({r.sizes.end() - static_cast<std::ptrdiff_t>(kTypicalOf), r.sizes.end()});
    return typical > 0 ? static_cast<double>(stretch) / typical : mixed;
}

// The damage took only anchor samples where it is no longer than one of its chunks: typical
// sizes of its keyframes and other samples then weigh the counts the counters allow. Only
// for a steady keyframe period.
KeyedBytes ChunkWalker::keyedBytes(int a, std::uint64_t stretch) const {
    constexpr std::size_t kKeys = 8;
    const RecoveredTrack& r = result_.tracks[idx(a)];
    const auto& keys = r.syncSamples;
    if (keys.size() < 2 || r.sizes.size() != r.samples || !withinOneChunk(r, stretch)) {
        return {};
    }
    const std::uint64_t period = keys.back() - keys[keys.size() - 2];
    if (period < 2 ||
        (keys.size() > 2 && keys[keys.size() - 2] - keys[keys.size() - 3] != period)) {
        return {};
    }
    std::vector<std::uint32_t> keySizes, others;
    for (std::size_t i = keys.size() - std::min(keys.size(), kKeys); i < keys.size(); ++i) {
        keySizes.push_back(r.sizes.at(keys[i] - 1));
    }
    for (std::uint64_t n = r.samples; n > 0 && others.size() < kTypicalOf; --n) {
        if (!std::binary_search(keys.begin(), keys.end(), static_cast<std::uint32_t>(n))) {
            others.push_back(r.sizes[n - 1]);
        }
    }
    if (others.empty()) {
        return {};
    }
    return {stretch, keys.back(), period, middleOf(keySizes), middleOf(others)};
}

// A camera that writes the anchor's chunks with a steady count (or a steady pattern of
// counts) starts each of them at a known sample number: the next one after the damage is
// the one nearest to where the bytes passed over put it. Returns the samples lost.
std::uint64_t ChunkWalker::onChunkGrid(int a, double lost, Grid grid) {
    const RecoveredTrack& r = result_.tracks[idx(a)];
    const auto rough = static_cast<std::uint64_t>(std::llround(lost));
    if (layout_.patternLength(a) == 0) {
        return rough;
    }
    const double want = static_cast<double>(r.samples + r.lost) + lost;
    std::uint64_t start = grid.start; // sample number where chunk k starts
    for (std::uint64_t k = grid.chunk; k < grid.chunk + kMaxGridChunks; ++k) {
        const std::uint64_t have = r.samples + r.lost;
        const std::uint64_t next = start + layout_.countsFor(a, k).front();
        if (start >= have && std::abs(static_cast<double>(start) - want) <=
                                 std::abs(static_cast<double>(next) - want)) {
            chunksTaken_[idx(a)] = k;
            gridCount_ = layout_.countsFor(a, k).front();
            return start - have;
        }
        start = next;
    }
    return rough;
}

// The anchor's first chunk after damage was placed on the grid as if whole; when it ends
// with fewer samples than its place on the grid holds, the damage took its first ones.
void ChunkWalker::settleGrid(int t, std::uint32_t samples, bool whole) {
    if (t != layout_.anchor() || gridCount_ == 0) {
        return;
    }
    RecoveredTrack& r = result_.tracks[idx(t)];
    if (whole && samples < gridCount_ && !r.gaps.empty()) {
        r.gaps.back().second += gridCount_ - samples;
        r.lost += gridCount_ - samples;
    }
    gridCount_ = 0;
}

// The first chunk of a track after damage starts where the reference's layout puts it
// against the anchor.
void ChunkWalker::keepInTime(int t) {
    if (!afterGap_[idx(t)]) {
        return;
    }
    afterGap_[idx(t)] = false;
    RecoveredTrack& r = result_.tracks[idx(t)];
    const double per = layout_.secondsOf(t, 1);
    if (per <= 0 || r.samples == 0) {
        return;
    }
    // A chunk found backwards from the next one is timed by its end, the rest by its start.
    const double due = endAligned_ > 0 ? timeOf(layout_.anchor()) + layout_.endOffset(t) -
                                             layout_.secondsOf(t, endAligned_)
                                       : timeOf(layout_.anchor()) + layout_.startOffset(t);
    const double behind = (due - timeOf(t)) / per;
    const auto n = std::llround(behind);
    if (n > 0) {
        r.gaps.emplace_back(r.samples, static_cast<std::uint64_t>(n));
        r.lost += static_cast<std::uint64_t>(n);
    }
    if (loss_.open || loss_.settling) {
        loss_.placed.push_back({t, r.samples, behind, anchorTime(), loss_.open});
    }
}

} // namespace repair
