// Which track's chunk starts at a place: each track that may come next is asked, and a
// track whose bytes say nothing is placed by the layout, checked against what follows.
#include "walk/ChunkWalker.h"

#include <algorithm>

namespace repair {
namespace {

constexpr int kMaxOthersDepth = 1;

} // namespace

SampleGuess ChunkWalker::probe(int t, std::uint64_t pos) {
    const int saved = asking_;
    asking_ = t;
    const SampleGuess g = probes_.ask(t, *codecs_[idx(t)], media_, pos);
    asking_ = saved;
    return g;
}

// Codecs ask this while they probe, and answering probes other codecs, which may ask
// again: one nested question is answered (a video unit's end checked against an audio
// frame that is checked against the next video unit), deeper ones are not.
bool ChunkWalker::startsAt(std::uint64_t pos, Ask ask) {
    const bool unknownFits = ask == Ask::RulesOut;
    if (othersDepth_ >= kMaxOthersDepth) {
        return unknownFits;
    }
    const int asking = asking_;
    // Checks that only rule out: raw bytes (PCM) that may come next cannot be ruled out
    // without looking chunks ahead, where damage would wrongly rule out this sample too.
    if (unknownFits && asking >= 0) {
        for (int t : layout_.successors(asking)) {
            if (codecs_[idx(t)]->headerless()) {
                return true;
            }
        }
    }
    ++othersDepth_;
    media_.enterNested();
    bool found = false;
    for (int t = 0; t < count() && !found; ++t) {
        const bool asked =
            t != asking && (ask != Ask::Surely || codecs_[idx(t)]->mostSure() == Sureness::Sure);
        const Start s = asked ? startAt(t, pos, kVerifyDepth) : Start{};
        // At a cut, a chunk the layout places cannot be checked against what follows: it
        // does not rule a sample out, but it does not end one either.
        found = s.sure >= Sureness::Likely || (unknownFits && s.cut && s.sure >= Sureness::Maybe);
    }
    asking_ = asking;
    media_.leaveNested();
    --othersDepth_;
    return found;
}

std::optional<int> ChunkWalker::rawSoundStep(std::uint64_t pos) {
    // Clearly smoother: by a fifth at least (a signal read a byte out of step is noise).
    constexpr double kClearly = 0.8;
    if (asking_ < 0) {
        return std::nullopt;
    }
    for (int t : layout_.successors(asking_)) {
        const auto here = codecs_[idx(t)]->restlessnessAt(media_, pos);
        const auto later = codecs_[idx(t)]->restlessnessAt(media_, pos + 1);
        if (here && later) {
            return *here < kClearly * *later ? -1 : *later < kClearly * *here ? 1 : 0;
        }
    }
    return std::nullopt;
}

ChunkWalker::Start ChunkWalker::startAt(int t, std::uint64_t pos, int depth) {
    pos = pastHoles(pos);
    if (pos >= media_.limit() || spent(t)) {
        return {};
    }
    if (codecs_[static_cast<std::size_t>(t)]->headerless()) {
        return placedBetween(t) ? placeBetween(t, pos) : placeByLayout(t, pos, depth);
    }
    const SampleGuess g = probe(t, pos);
    return {t, g.sure, 0, g.cut};
}

// A chunk of a track that cannot be recognised: try the sample counts the layout
// expects and keep the first after which the next track's chunk does start.
ChunkWalker::Start ChunkWalker::placeByLayout(int t, std::uint64_t pos, int depth) {
    const std::uint64_t bytes = layout_.sampleBytes(t);
    const auto counts = layout_.countsFor(t, chunksTaken_[static_cast<std::size_t>(t)]);
    if (bytes == 0 || counts.empty()) {
        return {};
    }
    if (depth <= 0) {
        return {t, Sureness::Maybe, counts[0], false};
    }
    const std::uint64_t limit = media_.limit();
    std::uint32_t largest = 0;
    for (std::uint32_t n : counts) {
        largest = std::max(largest, n);
        const std::uint64_t end = pos + n * bytes;
        if (end > limit) {
            continue;
        }
        if (end == limit) {
            // Up to the recorded end, or exactly up to a cut on a chunk boundary.
            return media_.endIsCut() ? Start{t, Sureness::Maybe, n, true}
                                     : Start{t, Sureness::Likely, n, false};
        }
        for (int s : layout_.successors(t)) {
            if (startAt(s, end, depth - 1).sure >= Sureness::Likely) {
                return {t, Sureness::Likely, n, false};
            }
        }
    }
    const std::uint64_t room = (limit - pos) / bytes;
    if (room >= largest && afterWholeChunk(t, pos)) {
        // Damage right after it: the layout alone places it, weakly.
        return {t, Sureness::Maybe, counts[0], false};
    }
    if (room == 0 || room >= largest) {
        return {};
    }
    return lastChunk(t, pos, static_cast<std::uint32_t>(room));
}

// The chunk taken last ends at pos holding as many samples as the layout gives such chunks,
// and a chunk of track t is what follows it: t's chunk starts at pos for sure.
bool ChunkWalker::afterWholeChunk(int t, std::uint64_t pos) const {
    if (othersDepth_ > 0 || prev_ < 0 || result_.dataEnd != pos) {
        return false;
    }
    const auto& chunks = result_.tracks[idx(prev_)].chunks;
    const auto& next = layout_.successors(prev_);
    return !chunks.empty() && layout_.knownCount(prev_, chunks.back().samples) && !next.empty() &&
           next.front() == t;
}

// The media data ends before the chunk the layout expects could: the recording's last
// chunk is shorter, or the cut took the rest. A recognised sample of another track right
// after it, or the recorded end, says how long it is.
ChunkWalker::Start ChunkWalker::lastChunk(int t, std::uint64_t pos, std::uint32_t room) {
    const std::uint64_t bytes = layout_.sampleBytes(t);
    // Asked while another track's sample is measured, at every place where it might end, a
    // scan each would cost the square of the chunk: there, only the end of the data tells.
    for (std::uint32_t n = othersDepth_ > 0 ? 0 : room; n > 0; --n) {
        for (int s : layout_.successors(t)) {
            // The sure sample also continues its stream: in a long run of raw bytes some
            // place always passes a single sample's checks.
            const std::uint64_t at = pos + n * bytes;
            if (!codecs_[idx(s)]->headerless() && startAt(s, at, 0).sure == Sureness::Sure &&
                codecs_[idx(s)]->continuesAt(media_, at)) {
                return {t, Sureness::Likely, n, false};
            }
        }
    }
    if (!media_.endIsCut()) {
        const bool exact = pos + room * bytes == media_.limit();
        return exact ? Start{t, Sureness::Likely, room, false} : Start{};
    }
    return {t, Sureness::Maybe, room, true};
}

ChunkWalker::Start ChunkWalker::bestOf(const std::vector<int>& tracks, std::uint64_t pos,
                                       int skip) {
    Start best;
    for (int t : tracks) {
        if (t == skip) {
            continue;
        }
        const Start s = startAt(t, pos, kVerifyDepth);
        if (s.sure > best.sure) {
            best = s;
        }
        if (best.sure == Sureness::Sure) {
            break;
        }
    }
    return best;
}

// The track on the clock whose next sample is due first, where the reference's chunks keep
// to the tracks' clocks; -1 otherwise. Ties go to the track listed first.
int ChunkWalker::clockNext() const {
    if (!layout_.clocked()) {
        return -1;
    }
    int next = -1;
    for (int t = 0; t < count(); ++t) {
        if (layout_.onClock(t) && !spent(t) &&
            (next < 0 || timeOf(t) < timeOf(next) - layout_.secondsOf(t, 1) / 2)) {
            next = t;
        }
    }
    return next;
}

// The tracks the layout lets come next, the one the clock says first: the clock places
// bytes that say nothing (PCM); a track whose bytes are recognised surely still wins.
std::vector<int> ChunkWalker::expectedNext() const {
    std::vector<int> out = prev_ < 0 ? layout_.firstTracks() : layout_.successors(prev_);
    const int c = prev_ < 0 ? -1 : clockNext();
    if (c >= 0) {
        out.erase(std::remove(out.begin(), out.end(), c), out.end());
        out.insert(out.begin(), c);
    }
    return out;
}

// Out of the layout's order, only tracks whose bytes say something: opaque ones lie only
// where the layout puts them.
std::vector<int> ChunkWalker::recognisable() const {
    std::vector<int> all;
    for (int t = 0; t < count(); ++t) {
        if (!placedBetween(t)) {
            all.push_back(t);
        }
    }
    return all;
}

ChunkWalker::Start ChunkWalker::choose(std::uint64_t pos) {
    const auto expected = expectedNext();
    Start best = bestOf(expected, pos, -1);
    if (best.sure >= Sureness::Likely) {
        return best;
    }
    const Start other = bestOf(recognisable(), pos, -1);
    return other.sure >= Sureness::Likely ? other : best;
}

// Whether the chunk of track t, holding `taken` samples so far, goes on at pos_: its
// own next sample against the next track's chunk, the layout's sample counts deciding
// between equals.
bool ChunkWalker::chunkGoesOn(int t, std::uint32_t taken) {
    const SampleGuess own = probe(t, pos_);
    if (own.cut) {
        // A sample cut off by the end only if nothing whole starts here instead, in the
        // layout's order or out of it (a short reference shows only some of the orders).
        // Inside a chunk shorter than the layout's chunks, a tie goes to the cut sample: a
        // tiny sound frame that decodes is no reason to end the chunk early.
        const bool unfinished = !layout_.knownCount(t, taken) && taken < layout_.maxCount(t);
        const Sureness next = bestOf(layout_.successors(t), pos_, t).sure;
        return (unfinished ? next <= own.sure : next < own.sure) &&
               bestOf(recognisable(), pos_, t).sure <= own.sure;
    }
    const bool known = layout_.knownCount(t, taken);
    const bool atMax = layout_.maxCount(t) > 0 && taken >= layout_.maxCount(t);
    if (own.sure == Sureness::Sure && !known && !atMax) {
        return true;
    }
    const Start next = bestOf(layout_.successors(t), pos_, t);
    if (next.sure != own.sure) {
        return own.sure > next.sure && !(atMax && next.sure >= Sureness::Likely);
    }
    if (own.sure == Sureness::Likely && known) {
        return !endsHere(t, taken);
    }
    if (own.sure == Sureness::Likely && !known && layout_.timeRule(t) == TimeRule::Cover) {
        // The weak frames of the next track (of one format) go on decoding alike: a chunk
        // whose count the layout does not know (a recording's shorter last chunks) ends
        // once it covers the video's time, one sample past it at most (where the track
        // covered it already, that one sample).
        if (taken > countInTime(t, taken)) {
            return false;
        }
    }
    return own.sure != Sureness::No && !known;
}

} // namespace repair
