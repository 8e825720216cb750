// Finding the media again: where the file has no head, after damaged stretches, and past
// boxes between several mdat boxes.
#include "walk/ChunkWalker.h"

#include <algorithm>

namespace repair {
namespace {

// Bytes looked at in one go when scanning for the media again, and how far a first look
// past them may reach.
constexpr std::size_t kScanBlock = std::size_t{1} << 16;
constexpr std::size_t kScanSlack = 16;

} // namespace

std::uint64_t ChunkWalker::pastHoles(std::uint64_t pos) const {
    for (const auto& [begin, end] : holes_) {
        if (pos >= begin && pos < end) {
            pos = end;
        }
    }
    return pos;
}

bool ChunkWalker::skipHole() {
    const std::uint64_t past = pastHoles(pos_);
    const bool moved = past != pos_;
    pos_ = past;
    return moved;
}

// The reference's own media offset is where a file of the same camera most likely has
// its first chunk; failing that, the first place a track is surely recognised.
bool ChunkWalker::findStart() {
    if (guess_ >= pos_ && guess_ < media_.limit() && choose(guess_).sure >= Sureness::Likely) {
        if (guess_ > pos_) {
            noteDamage(guess_ - pos_);
        }
        pos_ = guess_;
        return true;
    }
    std::uint64_t at = 0;
    const auto found = resync(pos_, at);
    if (!found) {
        return false;
    }
    const std::uint64_t from = pos_;
    std::uint64_t start = at;
    if (const auto before = chunkBefore(from, at, found->track, true, start)) {
        start = takeBefore(*before, start, at) ? start : at;
    }
    if (start > from) {
        noteDamage(start - from);
    }
    pos_ = at;
    return !stopped_;
}

// The chunk before the one found again, in the bytes passed over: what the layout puts
// right before it and what fits there exactly, up to where it was found. At the head of a
// file it may have lost its own start.
std::optional<ChunkWalker::Start> ChunkWalker::chunkBefore(std::uint64_t from, std::uint64_t to,
                                                           int next, bool head,
                                                           std::uint64_t& start) {
    start = to;
    if (to <= from) {
        return std::nullopt;
    }
    for (int p : layout_.predecessors(next)) {
        if (auto s = chunkOf(p, from, to, head, start)) {
            return s;
        }
    }
    start = to;
    return std::nullopt;
}

// A chunk of track p that ends exactly at `to`, starting no earlier than `from`.
std::optional<ChunkWalker::Start> ChunkWalker::chunkOf(int p, std::uint64_t from, std::uint64_t to,
                                                       bool head, std::uint64_t& start) {
    Start s{p, Sureness::Likely, 0, false};
    start = to;
    if (spent(p)) {
        return std::nullopt;
    }
    if (const std::uint64_t bytes = layout_.sampleBytes(p);
        codecs_[idx(p)]->headerless() || codecs_[idx(p)]->fixedSize() > 0) {
        if (bytes == 0) {
            return std::nullopt;
        }
        for (std::uint32_t n : layout_.countsFor(p, chunksTaken_[idx(p)])) {
            if (n * bytes <= to - from) {
                s.samples = n;
                break;
            }
        }
        if (s.samples == 0 && head) {
            s.samples = static_cast<std::uint32_t>(
                std::min<std::uint64_t>((to - from) / bytes, layout_.maxCount(p)));
        }
        start = to - s.samples * bytes;
    } else if (const auto found = runEndingAt(p, from, to)) {
        start = found->first;
        s.samples = found->second;
    }
    if (start >= to) {
        return std::nullopt;
    }
    return s;
}

// Takes the chunk chunkBefore found, from `start` up to `to`; false when it does not fit.
bool ChunkWalker::takeBefore(const Start& s, std::uint64_t start, std::uint64_t to) {
    const std::uint64_t keep = pos_;
    pos_ = start;
    endAligned_ = s.samples;
    const bool taken = takeChunk(s);
    endAligned_ = 0;
    if (!taken || pos_ != to) {
        pos_ = keep;
        return false;
    }
    return true;
}

// Where a run of track t's samples starts that ends exactly at `to`, searched no further
// back than its longest chunk could reach.
std::optional<std::pair<std::uint64_t, std::uint32_t>>
ChunkWalker::runEndingAt(int t, std::uint64_t from, std::uint64_t to) {
    for (std::uint64_t p = std::max(from, to > reachBack(t) ? to - reachBack(t) : 0); p < to; ++p) {
        const Run run = runFrom(t, p, to, false);
        if (run.end == to) {
            return std::make_pair(p, run.samples);
        }
    }
    return std::nullopt;
}

// The bytes a chunk of track t can span: its most samples, each its largest.
std::uint64_t ChunkWalker::reachBack(int t) const {
    return std::uint64_t{std::max(layout_.maxCount(t), 1u)} *
           std::max<std::uint64_t>(layout_.largestSampleOf(t), 1);
}

// Track t's samples from p on, as far as they are recognised and end by `to`; with toCut,
// one that the end of the data cuts off ends the run too.
ChunkWalker::Run ChunkWalker::runFrom(int t, std::uint64_t p, std::uint64_t to, bool toCut) {
    const std::uint64_t largest = std::max<std::uint64_t>(layout_.largestSampleOf(t), 1);
    Run run{p, 0, true, false};
    for (; run.end < to; ++run.samples) {
        const SampleGuess g = probe(t, run.end);
        if (g.cut && toCut) {
            run.cut = true;
            break;
        }
        if (g.sure < Sureness::Likely || g.cut || g.size == 0) {
            break;
        }
        run.inRange = run.inRange && g.size <= largest;
        run.end += g.size;
    }
    return run;
}

// The first place from `from` on where a track that can be surely recognised is: linear
// in the bytes passed over. The bytes are read a block at a time and each track's first
// look rules out most places before any is probed, so bytes that match nothing pass at
// the speed of reading them.
std::optional<ChunkWalker::Start> ChunkWalker::resync(std::uint64_t from, std::uint64_t& at) {
    std::vector<int> sure;
    for (int t = 0; t < count(); ++t) {
        if (codecs_[idx(t)]->mostSure() == Sureness::Sure) {
            sure.push_back(t);
        }
    }
    std::vector<std::uint8_t> block(kScanBlock + kScanSlack);
    std::vector<std::uint64_t> next(sure.size(), from); // each track's next place to probe
    for (std::uint64_t b = from; b < media_.limit() && !sure.empty(); b += kScanBlock) {
        const std::size_t got = media_.read(b, block.data(), block.size());
        const std::uint64_t end = std::min<std::uint64_t>(b + kScanBlock, media_.limit());
        for (std::uint64_t q = b; q < end;) {
            std::uint64_t p = end;
            for (std::size_t k = 0; k < sure.size(); ++k) {
                const auto i = static_cast<std::size_t>(q - b);
                if (next[k] < q) {
                    // A short read leaves the probe to judge what could not be looked at.
                    next[k] = i < got ? q + codecs_[idx(sure[k])]->nextCandidate(block.data() + i,
                                                                                 got - i)
                                      : q;
                }
                p = std::min(p, next[k]);
            }
            if (p >= end) {
                break;
            }
            if (const auto t = probeAt(sure, next, p)) {
                at = p;
                return Start{*t, Sureness::Sure, 0, false};
            }
            q = p + 1;
        }
    }
    return std::nullopt;
}

// The first of the tracks whose look points at p that surely starts a sample there.
std::optional<int> ChunkWalker::probeAt(const std::vector<int>& tracks,
                                        const std::vector<std::uint64_t>& next, std::uint64_t p) {
    std::uint8_t head[8] = {};
    if (media_.read(p, head, sizeof head) == sizeof head &&
        std::all_of(head, head + sizeof head, [](std::uint8_t b) { return b == 0; })) {
        return std::nullopt; // zeros start no sample of any camera's
    }
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        if (next[k] != p) {
            continue;
        }
        const SampleGuess g = probe(tracks[k], p);
        if (g.sure == Sureness::Sure && !g.cut) {
            return tracks[k];
        }
    }
    return std::nullopt;
}

} // namespace repair
