// The walk's loop, and the taking of each chunk found: its samples, its place in the
// tracks' tables.
#include "walk/ChunkWalker.h"

#include <algorithm>

namespace repair {
namespace {

constexpr std::uint32_t kMaxChunkSamples = 1u << 20;
// At a cut, up to this much (or the reference's largest sample) may be an unfinished
// sample rather than damage.
constexpr std::uint64_t kMinCutTail = 8u << 10;

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
        checkOwnedBefore(start, s.bytes);
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
