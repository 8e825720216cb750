// Samples that say nothing about themselves and vary in size (a maker's opaque dump between
// the pictures of a frame-by-frame interleave): such a sample is the bytes from where the
// layout puts it up to where the track after it is recognised.
#include "walk/ChunkWalker.h"

#include <algorithm>

namespace repair {
namespace {

// How far past its start an opaque sample's end is looked for: half as much again as the
// reference's largest sample of the track (a longer one would more likely be damage taken
// for a sample), and never less than this.
constexpr std::uint64_t kMinOpaqueReach = 1u << 10;
// Zero bytes in a row that, inside a span longer than any sample of the track, tell damage.
constexpr std::size_t kWipedRun = 16;

} // namespace

bool ChunkWalker::placedBetween(int t) const {
    return codecs_[idx(t)]->headerless() && layout_.sampleBytes(t) == 0 && layout_.knownCount(t, 1);
}

// One sample of opaque track t at pos: up to the next place where a track the layout puts
// after it is surely recognised, or, where that track is only weakly recognised, up to
// where a run of its samples ends exactly at the next sure one. Never answered inside
// another codec's question (such bytes could end anywhere), nor before a chunk was taken
// (nothing then says where they begin).
ChunkWalker::Start ChunkWalker::placeBetween(int t, std::uint64_t pos) {
    if (media_.nested() || prev_ < 0) {
        return {}; // nothing known ends where it would start
    }
    const std::uint64_t largest = layout_.largestSampleOf(t);
    const std::uint64_t reach = std::max<std::uint64_t>(largest + largest / 2, kMinOpaqueReach);
    // Never across a box between two mdat boxes: the sample ends before it at the latest.
    const std::uint64_t bound = boundaryAfter(pos);
    const std::uint64_t to =
        std::min({media_.limit(), pos + reach, bound > pos ? bound : media_.limit()});
    // Only where the layout most often puts the track after it: a rarer order is not
    // evidence enough to take bytes that say nothing as a sample.
    const auto& after = layout_.successors(t);
    if (!after.empty() && after.front() != t) {
        if (const auto end = opaqueEnd(after.front(), pos, to)) {
            return {t, Sureness::Likely, 1, false, wipedFrom(t, pos, *end) - pos};
        }
    }
    if (media_.endIsCut() && media_.limit() - pos < reach) {
        return {t, Sureness::Maybe, 0, true, 0};
    }
    // Where the track after it is not found, the recorded end of the media data, or the end
    // of one mdat before a box between two, ends it as surely as a recognised sample.
    if (bound > pos && bound - pos <= reach) {
        return {t, Sureness::Likely, 1, false, bound - pos};
    }
    return {};
}

// Where the opaque sample at pos that would end at `end` ends when a span longer than any of
// the reference's samples of the track holds a run of zeros: there, the damage that wiped
// what came after it (a picture whose start is not found ends nothing) begins.
std::uint64_t ChunkWalker::wipedFrom(int t, std::uint64_t pos, std::uint64_t end) {
    if (end - pos <= layout_.largestSampleOf(t)) {
        return end;
    }
    const auto bytes = media_.bytes(pos, static_cast<std::size_t>(end - pos));
    std::size_t run = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        run = bytes[i] == 0 ? run + 1 : 0;
        if (run == kWipedRun && i + 1 > kWipedRun) {
            return pos + (i + 1 - kWipedRun);
        }
    }
    return end;
}

// Opaque bytes about to be taken at pos, right after a chunk of another track that could
// have held one more sample, that open with a whole sample of that track: its chunk ended
// early, and the track is short of what they hold.
void ChunkWalker::checkOwnedBefore(std::uint64_t pos, std::uint64_t bytes) {
    if (prev_ < 0 || result_.dataEnd != pos || codecs_[idx(prev_)]->headerless() ||
        !result_.endedEarly.empty() || result_.tracks[idx(prev_)].chunks.empty() ||
        result_.tracks[idx(prev_)].chunks.back().samples >= layout_.maxCount(prev_)) {
        return;
    }
    const SampleGuess g = probe(prev_, pos);
    if (g.sure >= Sureness::Likely && !g.cut && g.size > 0 && g.size <= bytes) {
        result_.endedEarly = "a chunk of track " + std::to_string(prev_ + 1) +
                             " ended before its samples did, at byte " + std::to_string(pos);
    }
}

std::uint64_t ChunkWalker::boundaryAfter(std::uint64_t pos) const {
    std::uint64_t end = media_.endIsCut() ? 0 : media_.limit();
    for (const auto& [begin, after] : holes_) {
        if (begin > pos && (end == 0 || begin < end)) {
            end = begin;
        }
    }
    return end;
}

// Where an opaque sample at pos, looked for up to `to`, ends: at the next sure sample of track
// s, or, s being only weakly recognised, where a run of its samples ends in step with the
// next sure sample of a track after s.
std::optional<std::uint64_t> ChunkWalker::opaqueEnd(int s, std::uint64_t pos, std::uint64_t to) {
    const Codec& next = *codecs_[idx(s)];
    if (next.headerless()) {
        return std::nullopt;
    }
    if (next.mostSure() == Sureness::Sure) {
        return nextSurely(s, pos + 1, to);
    }
    for (int beyond : layout_.successors(s)) {
        if (beyond == s || codecs_[idx(beyond)]->mostSure() != Sureness::Sure) {
            continue;
        }
        const std::uint64_t far = std::min(media_.limit(), to + reachBack(s));
        auto strong = nextSurely(beyond, pos + 1, far);
        if (!strong && media_.endIsCut() && far == media_.limit()) {
            strong = far; // the weak run may reach the cut
        }
        if (const auto weak = strong ? weakRunBefore(s, pos + 1, *strong) : std::nullopt) {
            return weak;
        }
    }
    return std::nullopt;
}

// The first place in [from, to) where a sample of track s surely starts.
std::optional<std::uint64_t> ChunkWalker::nextSurely(int s, std::uint64_t from, std::uint64_t to) {
    for (std::uint64_t q = from; q < to; ++q) {
        // A sample starting here ends what lies before it, even if the cut took its own
        // end (its head is then all there is to check).
        const SampleGuess g = probe(s, q);
        const bool cutOff = g.cut && g.sure == Sureness::Likely &&
                            media_.limit() - q <= 2 * layout_.largestSampleOf(s);
        if ((g.sure == Sureness::Sure && !g.cut) || cutOff) {
            return q;
        }
    }
    return std::nullopt;
}

// Where a run of weakly recognised track s starts that ends exactly at `to` (or is cut off
// by the end of the data). Random bytes before a run often decode too and fall into step
// with it, so of the starts in [from, to) whose run ends there, the best keeps s in time
// with the anchor, then has no sample larger than the reference's largest, then starts
// last: the weak evidence explains no more bytes than it must.
std::optional<std::uint64_t> ChunkWalker::weakRunBefore(int s, std::uint64_t from,
                                                        std::uint64_t to) {
    const std::uint32_t due = countInTime(s, 0);
    const bool toCut = to == media_.limit() && media_.endIsCut();
    std::optional<std::uint64_t> best;
    std::pair<bool, bool> bestRank{false, false};
    for (std::uint64_t p = std::max(from, to > reachBack(s) ? to - reachBack(s) : 0); p < to; ++p) {
        const Run run = runFrom(s, p, to, toCut);
        const std::uint32_t n = run.samples;
        if ((run.end != to && !run.cut) || n == 0 || (!run.cut && !layout_.knownCount(s, n))) {
            continue;
        }
        // Up to a cut nothing checks the run's end: only a whole chunk's worth, but for the
        // sample cut off, of samples of the usual sizes is taken on trust.
        if (run.cut && (!run.inRange || n + 1 < due)) {
            continue;
        }
        const std::pair<bool, bool> rank{n == due, run.inRange};
        if (!best || rank >= bestRank) {
            best = p;
            bestRank = rank;
        }
    }
    return best;
}

} // namespace repair
