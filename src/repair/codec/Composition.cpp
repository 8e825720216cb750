#include "Composition.h"

#include <algorithm>
#include <numeric>

namespace repair {

std::int64_t PocCounter::next(const SliceHeader& slice, const Sps& sps) {
    if (sps.pocType == 2) {
        return fromFrameNum(slice, sps);
    }
    if (sps.pocType != 0) {
        return decodeIndex_++;
    }
    if (slice.idr) {
        prevMsb_ = 0;
        prevLsb_ = 0;
    }
    const std::int64_t maxLsb = std::int64_t{1} << sps.log2MaxPocLsb;
    const std::int64_t lsb = slice.pocLsb;
    const std::int64_t prevLsb = prevLsb_;
    std::int64_t msb = prevMsb_;
    if (lsb < prevLsb && prevLsb - lsb >= maxLsb / 2) {
        msb += maxLsb;
    } else if (lsb > prevLsb && lsb - prevLsb > maxLsb / 2) {
        msb -= maxLsb;
    }
    if (slice.nalRefIdc != 0) {
        prevMsb_ = msb;
        prevLsb_ = slice.pocLsb;
    }
    const std::int64_t top = msb + lsb;
    return std::min(top, top + slice.deltaPocBottom);
}

// Order type 2 (8.2.1.3): display order is decode order, and the count follows frame_num,
// which goes up by one after every reference picture and wraps at MaxFrameNum.
std::int64_t PocCounter::fromFrameNum(const SliceHeader& slice, const Sps& sps) {
    const std::int64_t maxFrameNum = std::int64_t{1} << sps.log2MaxFrameNum;
    if (slice.idr) {
        frameNumOffset_ = 0;
    } else if (prevFrameNum_ > slice.frameNum) {
        frameNumOffset_ += maxFrameNum;
    }
    prevFrameNum_ = slice.frameNum;
    const std::int64_t count = 2 * (frameNumOffset_ + slice.frameNum);
    return slice.nalRefIdc == 0 ? count - 1 : count;
}

namespace {

// Display rank of every picture: pictures are reordered only within one IDR period.
std::vector<std::int64_t> displayRanks(const std::vector<PictureOrder>& pictures) {
    std::vector<std::int64_t> rank(pictures.size());
    std::size_t begin = 0;
    while (begin < pictures.size()) {
        std::size_t end = begin + 1;
        while (end < pictures.size() && !pictures[end].idr) {
            ++end;
        }
        std::vector<std::size_t> order(end - begin);
        std::iota(order.begin(), order.end(), begin);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return pictures[a].poc < pictures[b].poc;
        });
        for (std::size_t k = 0; k < order.size(); ++k) {
            rank[order[k]] = static_cast<std::int64_t>(begin + k);
        }
        begin = end;
    }
    return rank;
}

} // namespace

std::vector<std::uint32_t> compositionOffsets(const std::vector<PictureOrder>& pictures) {
    const auto rank = displayRanks(pictures);
    std::int64_t delay = 0;
    bool reordered = false;
    for (std::size_t i = 0; i < rank.size(); ++i) {
        const auto decode = static_cast<std::int64_t>(i);
        delay = std::max(delay, decode - rank[i]);
        reordered = reordered || rank[i] != decode;
    }
    if (!reordered) {
        return {};
    }
    std::vector<std::uint32_t> out(rank.size());
    for (std::size_t i = 0; i < rank.size(); ++i) {
        out[i] = static_cast<std::uint32_t>(rank[i] - static_cast<std::int64_t>(i) + delay);
    }
    return out;
}

} // namespace repair
