// Finding the media again: where the file has no head, after damaged stretches, and past
// boxes between several mdat boxes; and keeping the tracks in time across what was lost.
#include "ChunkWalker.h"

#include <algorithm>
#include <cmath>

namespace repair {

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
        result_.skippedBytes += guess_ - pos_;
        result_.stretches += guess_ > pos_;
        pos_ = guess_;
        return true;
    }
    std::uint64_t at = 0;
    if (!resync(pos_, at)) {
        return false;
    }
    result_.skippedBytes += at - pos_;
    result_.stretches += at > pos_;
    pos_ = at;
    return true;
}

// The first place from `from` on where a track that can be surely recognised is: linear
// in the bytes passed over.
std::optional<ChunkWalker::Start> ChunkWalker::resync(std::uint64_t from, std::uint64_t& at) {
    std::vector<int> sure;
    for (int t = 0; t < count(); ++t) {
        if (codecs_[idx(t)]->mostSure() == Sureness::Sure) {
            sure.push_back(t);
        }
    }
    for (std::uint64_t q = from; q < media_.limit() && !sure.empty(); ++q) {
        std::uint8_t head[8] = {};
        if (media_.read(q, head, sizeof head) == sizeof head &&
            std::all_of(head, head + sizeof head, [](std::uint8_t b) { return b == 0; })) {
            continue; // zeros start no sample of any camera's
        }
        for (int t : sure) {
            const SampleGuess g = probe(t, q);
            if (g.sure == Sureness::Sure && !g.cut) {
                at = q;
                return Start{t, Sureness::Sure, 0, false};
            }
        }
    }
    return std::nullopt;
}

double ChunkWalker::timeOf(int t) const {
    const RecoveredTrack& r = result_.tracks[idx(t)];
    return layout_.secondsOf(t, r.samples + r.lost);
}

// Damage from `from` to `to`: the anchor (video) track loses the time its bytes would
// take at the rate seen so far; the others catch up when their next chunk comes.
void ChunkWalker::passDamage(std::uint64_t from, std::uint64_t to) {
    const double media = static_cast<double>(from - media_.begin() - result_.skippedBytes);
    result_.skippedBytes += to - from;
    ++result_.stretches;
    const int a = layout_.anchor();
    if (a < 0 || layout_.secondsOf(a, 1) <= 0) {
        return;
    }
    const double seen = timeOf(a);
    const double rate = seen > 0 && media > 0 ? media / seen : layout_.bytesPerSecond();
    if (rate <= 0) {
        return;
    }
    afterGap_.assign(afterGap_.size(), true);
    RecoveredTrack& r = result_.tracks[idx(a)];
    const double lost = static_cast<double>(to - from) / rate / layout_.secondsOf(a, 1);
    const auto n = static_cast<std::uint64_t>(std::llround(std::max(lost, 0.0)));
    if (n > 0 && r.samples > 0) {
        r.gaps.emplace_back(r.samples, n);
        r.lost += n;
    }
    afterGap_[idx(a)] = false;
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
    const double due = timeOf(layout_.anchor()) + layout_.startOffset(t);
    const auto n = std::llround((due - timeOf(t)) / per);
    if (n > 0) {
        r.gaps.emplace_back(r.samples, static_cast<std::uint64_t>(n));
        r.lost += static_cast<std::uint64_t>(n);
    }
}

} // namespace repair
