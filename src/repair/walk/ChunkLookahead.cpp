// Looking ahead past chunks of tracks that are recognised equally well (several audio
// tracks of one format side by side), to tell where one of them ends.
#include "walk/ChunkWalker.h"

#include <cmath>

namespace repair {
namespace {

// Sample counts tried for each chunk when looking ahead.
constexpr std::size_t kMaxLookahead = 2;

} // namespace

// Both the chunk and the next track could go on here: end the chunk if the chunks that
// the layout expects next lead to a sample surely recognised; where the data ends before
// that, keep the track in time with the video as the reference does.
bool ChunkWalker::endsHere(int t, std::uint32_t taken) {
    fits_.clear();
    const Fit fit = endFits(t, pos_, taken, count());
    if (fit == Fit::Yes || fit == Fit::No) {
        return fit == Fit::Yes;
    }
    // Not refuted within reach, or the data ends before anything tells: the layout's clock
    // decides, where the reference keeps to one.
    const std::uint32_t due = countInTime(t, taken);
    if (due == 0 && fit == Fit::Open && onlyOpaqueAfter(t, pos_)) {
        // Bytes that say nothing could start anywhere: the track's own samples, which go on
        // here, measure the chunk; its usual counts only cap it.
        return taken >= layout_.maxCount(t);
    }
    return due == 0 || taken >= due;
}

// Of the tracks that may follow t, only opaque ones (placed between others) could start at
// pos: nothing there but t's own samples tells where its chunk ends.
bool ChunkWalker::onlyOpaqueAfter(int t, std::uint64_t pos) {
    bool opaque = false;
    for (int s : layout_.successors(t)) {
        if (s == t || startAt(s, pos, kVerifyDepth).sure < Sureness::Likely) {
            continue;
        }
        if (!placedBetween(s)) {
            return false;
        }
        opaque = true;
    }
    return opaque;
}

// The sample count of the chunk being taken (`taken` samples so far) that keeps track t in
// time with the layout's anchor track, if the reference keeps to such a rule; 0 otherwise.
std::uint32_t ChunkWalker::countInTime(int t, std::uint32_t taken) const {
    const int anchor = layout_.anchor();
    const TimeRule rule = layout_.timeRule(t);
    if (anchor < 0 || rule == TimeRule::None) {
        return 0;
    }
    const double target = layout_.secondsOf(anchor, result_.tracks[idx(anchor)].samples);
    const double per = layout_.secondsOf(t, 1);
    const double have = static_cast<double>(result_.tracks[idx(t)].samples - taken);
    const double whole =
        rule == TimeRule::Cover ? std::ceil(target / per - 1e-9) : std::floor(target / per + 1e-9);
    return whole > have ? static_cast<std::uint32_t>(whole - have) : 0;
}

ChunkWalker::Fit ChunkWalker::endFits(int t, std::uint64_t pos, std::uint32_t taken, int depth) {
    if (pos >= media_.limit()) {
        return media_.endIsCut() ? Fit::Cut : Fit::Yes;
    }
    const auto key = std::make_tuple(t, pos, taken);
    if (const auto it = fits_.find(key); it != fits_.end()) {
        return it->second;
    }
    const Fit fit = endFitsUncached(t, pos, taken, depth);
    fits_[key] = fit;
    return fit;
}

ChunkWalker::Fit ChunkWalker::endFitsUncached(int t, std::uint64_t pos, std::uint32_t taken,
                                              int depth) {
    Fit best = Fit::No;
    for (int s : layout_.successors(t)) {
        if (s == t) {
            continue;
        }
        const Start start = startAt(s, pos, kVerifyDepth);
        if (start.sure == Sureness::Likely && placedBetween(s)) {
            // Opaque bytes may end anywhere: they neither prove nor refute an end here.
            best = std::max(best, Fit::Open);
            continue;
        }
        if (start.sure == Sureness::Sure ||
            (start.sure == Sureness::Likely && codecs_[idx(s)]->headerless())) {
            return Fit::Yes;
        }
        if (start.sure != Sureness::Likely) {
            continue;
        }
        if (depth <= 0) {
            best = std::max(best, Fit::Open);
            continue;
        }
        auto counts = layout_.countFollows(s) ? std::vector<std::uint32_t>{taken}
                                              : layout_.countsFor(s, chunksTaken_[idx(s)]);
        counts.resize(std::min<std::size_t>(counts.size(), kMaxLookahead));
        for (std::uint32_t n : counts) {
            const Fit fit = runFits(s, pos, n, depth - 1);
            if (fit == Fit::Yes) {
                return fit;
            }
            best = std::max(best, fit);
        }
    }
    return best;
}

// Whether n samples of track s from pos on, and what the layout says comes after them,
// fit the bytes.
ChunkWalker::Fit ChunkWalker::runFits(int s, std::uint64_t pos, std::uint32_t n, int depth) {
    std::uint64_t q = pos;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (q >= media_.limit()) {
            // The data ends between two of its samples: a last chunk cut short, by the cut
            // or where the recording ended. Nothing here refutes the end being tried.
            return Fit::Cut;
        }
        const SampleGuess g = probe(s, q);
        if (g.cut) {
            return Fit::Cut;
        }
        if (g.sure < Sureness::Likely || g.size == 0) {
            return Fit::No;
        }
        q += g.size;
    }
    return endFits(s, q, n, depth);
}

} // namespace repair
