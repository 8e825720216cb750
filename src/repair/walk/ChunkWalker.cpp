#include "walk/ChunkWalker.h"

#include <algorithm>

namespace repair {
namespace {

constexpr std::uint32_t kMaxChunkSamples = 1u << 20;
// At a cut, up to this much (or the reference's largest sample) may be an unfinished
// sample rather than damage.
constexpr std::uint64_t kMinCutTail = 8u << 10;
constexpr int kMaxOthersDepth = 1;

} // namespace

ChunkWalker::ChunkWalker(MediaView& media, std::vector<std::unique_ptr<Codec>>& codecs,
                         const Layout& layout)
    : media_(media), codecs_(codecs), layout_(layout), chunksTaken_(codecs.size()),
      pos_(media.begin()), probes_(codecs.size()) {
    result_.tracks.resize(codecs.size());
    for (int t = 0; t < count(); ++t) {
        const auto i = static_cast<std::size_t>(t);
        result_.tracks[i].fixedSize =
            codecs[i]->headerless() ? layout.sampleBytes(t) : codecs[i]->fixedSize();
    }
    afterGap_.assign(codecs.size(), false);
    result_.begin = media.begin();
    result_.limit = media.limit();
    result_.dataEnd = media.begin();
    media_.setNeighbours(this);
}

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

ChunkWalker::Start ChunkWalker::startAt(int t, std::uint64_t pos, int depth) {
    pos = pastHoles(pos);
    if (pos >= media_.limit()) {
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
            if (!codecs_[static_cast<std::size_t>(s)]->headerless() &&
                startAt(s, pos + n * bytes, 0).sure == Sureness::Sure) {
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

ChunkWalker::Start ChunkWalker::choose(std::uint64_t pos) {
    const auto& expected = prev_ < 0 ? layout_.firstTracks() : layout_.successors(prev_);
    Start best = bestOf(expected, pos, -1);
    if (best.sure >= Sureness::Likely) {
        return best;
    }
    // Out of the layout's order, only tracks whose bytes say something: opaque ones lie
    // only where the layout puts them.
    std::vector<int> all;
    for (int t = 0; t < count(); ++t) {
        if (!placedBetween(t)) {
            all.push_back(t);
        }
    }
    const Start other = bestOf(all, pos, -1);
    return other.sure >= Sureness::Likely ? other : best;
}

// Whether the chunk of track t, holding `taken` samples so far, goes on at pos_: its
// own next sample against the next track's chunk, the layout's sample counts deciding
// between equals.
bool ChunkWalker::chunkGoesOn(int t, std::uint32_t taken) {
    const SampleGuess own = probe(t, pos_);
    if (own.cut) {
        // A sample cut off by the end only if nothing whole starts here instead.
        return bestOf(layout_.successors(t), pos_, t).sure < own.sure;
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
    return own.sure != Sureness::No && !known;
}

void ChunkWalker::addSample(int t, std::uint64_t size, const SampleFacts& facts) {
    RecoveredTrack& r = result_.tracks[static_cast<std::size_t>(t)];
    ++r.samples;
    r.bytes += size;
    if (r.fixedSize == 0) {
        r.sizes.push_back(static_cast<std::uint32_t>(size));
    }
    if (facts.sync) {
        r.syncSamples.push_back(static_cast<std::uint32_t>(r.samples));
    } else {
        r.allSync = false;
    }
}

void ChunkWalker::closeChunk(int t, std::uint64_t start, std::uint32_t samples) {
    if (samples == 0) {
        return;
    }
    if (t == layout_.anchor()) {
        const RecoveredTrack& r = result_.tracks[idx(t)];
        anchorChunk_ = {start, r.samples + r.lost - samples};
    } else if (loss_.open && closesAnchorChunk(t)) {
        loss_.laterChunk = true;
    }
    result_.tracks[static_cast<std::size_t>(t)].chunks.push_back({start, samples});
    ++chunksTaken_[static_cast<std::size_t>(t)];
    result_.dataEnd = pos_;
    prev_ = t;
    if (onChunk_) {
        onChunk_({t, start, samples, pos_ - start});
    }
}

bool ChunkWalker::takeLaidOut(const Start& s) {
    const std::uint64_t start = pos_;
    if (s.bytes > 0) {
        addSample(s.track, s.bytes, {});
        pos_ += s.bytes;
        closeChunk(s.track, start, 1);
        return true;
    }
    const std::uint64_t bytes = std::uint64_t{s.samples} * layout_.sampleBytes(s.track);
    RecoveredTrack& r = result_.tracks[static_cast<std::size_t>(s.track)];
    r.samples += s.samples;
    r.bytes += bytes;
    pos_ += bytes;
    closeChunk(s.track, start, s.samples);
    if (s.cut) {
        const std::uint64_t chunk =
            std::uint64_t{std::max(layout_.maxCount(s.track), 1u)} *
            std::max<std::uint64_t>(layout_.sampleBytes(s.track), layout_.largestSampleOf(s.track));
        cutInside(chunk, "cut inside a chunk of track " + std::to_string(s.track + 1));
    }
    return s.samples > 0;
}

// A chunk that turns out to hold no sample leaves the track's times as they were.
bool ChunkWalker::takeChunk(const Start& s) {
    const RecoveredTrack& r = result_.tracks[idx(s.track)];
    const auto gaps = r.gaps;
    const std::uint64_t lost = r.lost;
    const bool afterGap = afterGap_[idx(s.track)];
    const Loss loss = loss_;
    keepInTime(s.track);
    if (s.track == layout_.anchor()) {
        countLoss();
    }
    if (takeSamples(s) || stopped_) {
        return true;
    }
    RecoveredTrack& back = result_.tracks[idx(s.track)];
    back.gaps = gaps;
    back.lost = lost;
    afterGap_[idx(s.track)] = afterGap;
    loss_ = loss;
    return false;
}

bool ChunkWalker::takeSamples(const Start& s) {
    if (codecs_[static_cast<std::size_t>(s.track)]->headerless()) {
        return takeLaidOut(s);
    }
    const int t = s.track;
    const std::uint64_t start = pos_;
    std::uint32_t taken = 0;
    while (taken < kMaxChunkSamples) {
        const SampleGuess g = probe(t, pos_);
        if (g.cut) {
            closeChunk(t, start, taken);
            cutInside(2 * layout_.largestSampleOf(t),
                      "cut inside a sample of track " + std::to_string(t + 1));
            return true;
        }
        if (g.sure == Sureness::No || g.size == 0) {
            break;
        }
        asking_ = t;
        const SampleFacts facts = codecs_[static_cast<std::size_t>(t)]->take(media_, pos_, g.size);
        asking_ = -1;
        probes_.taken(t, pos_);
        addSample(t, g.size, facts);
        pos_ += g.size;
        ++taken;
        // A run already measured (found backwards from what follows it) is taken whole.
        const bool more = s.samples > 0 ? taken < s.samples : chunkGoesOn(t, taken);
        if (pos_ >= media_.limit() || !more) {
            break;
        }
    }
    closeChunk(t, start, taken);
    settleGrid(t, taken, pos_ < media_.limit());
    if (t == layout_.anchor()) {
        closeLoss(taken, pos_ < media_.limit());
        settleLoss();
    }
    return taken > 0;
}

// The data ends inside a sample or chunk: up to `most` bytes of it (the most one can hold)
// were lost to the cut; more than that was not recognised.
void ChunkWalker::cutInside(std::uint64_t most, const std::string& what) {
    const std::uint64_t left = media_.limit() - pos_;
    result_.lostToCut = std::min(left, std::max(most, kMinCutTail));
    stop(left > result_.lostToCut ? what + ", with more after it unrecognised" : what,
         left > result_.lostToCut);
}

void ChunkWalker::stop(const std::string& reason, bool early) {
    stopped_ = true;
    result_.stopReason = reason;
    result_.stoppedEarly = early;
}

WalkResult ChunkWalker::run() {
    if (search_ && !findStart()) {
        stop("no track's sample recognised anywhere in the file", true);
    }
    while (!stopped_ && pos_ < media_.limit()) {
        if (skipHole()) {
            continue;
        }
        Start s = choose(pos_);
        const std::uint64_t left = media_.limit() - pos_;
        if (s.sure == Sureness::No || s.track < 0) {
            if (media_.endIsCut() && left <= std::max(kMinCutTail, layout_.largestSample())) {
                result_.lostToCut = left;
                stop("cut inside a sample", false);
                break;
            }
            std::uint64_t at = 0;
            const auto found = resync(pos_ + 1, at);
            if (!found) {
                stop("no track's sample recognised after byte " + std::to_string(pos_), true);
                break;
            }
            // The chunk right before the place found again may be whole: what the damage
            // took ends where it starts.
            const std::uint64_t from = pos_;
            std::uint64_t start = at;
            const auto before = chunkBefore(from, at, found->track, false, start);
            passDamage(from, start, at, start == at ? found->track : -1);
            if (before && !takeBefore(*before, start, at)) {
                result_.skippedBytes += at - start;
                result_.damage.back().bytes += at - start;
            }
            if (stopped_) {
                break;
            }
            pos_ = at;
            s = *found;
        }
        if (!takeChunk(s) && !stopped_) {
            stop("no whole sample at byte " + std::to_string(pos_), true);
        }
    }
    takeSilenceBeforeTail();
    if (!stopped_) {
        stop("end of media data", false);
    }
    checkTimes();
    result_.stoppedAt = pos_;
    return result_;
}

} // namespace repair
