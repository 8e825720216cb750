#include "codec/PicOrder.h"

#include <algorithm>
#include <limits>

namespace repair {
namespace {

// Counts from a hostile parameter set must not overflow: they saturate instead.
std::int64_t saturatedMul(std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    if (__builtin_mul_overflow(a, b, &r)) {
        return (a < 0) == (b < 0) ? std::numeric_limits<std::int64_t>::max()
                                  : std::numeric_limits<std::int64_t>::min();
    }
    return r;
}

std::int64_t saturatedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    }
    return r;
}

// A frame's order count is that of its earlier field; a field picture has only its own.
std::int64_t pictureCount(const SliceHeader& slice, std::int64_t top, std::int64_t bottom) {
    if (slice.fieldPic) {
        return slice.bottomField ? bottom : top;
    }
    return std::min(top, bottom);
}

} // namespace

std::int64_t PocCounter::next(const SliceHeader& slice, const Sps& sps) {
    std::int64_t poc = 0;
    if (sps.pocType == 0) {
        poc = fromLsb(slice, sps);
    } else {
        const std::int64_t offset = frameNumOffset(slice, sps);
        if (sps.pocType == 1) {
            poc = fromCycle(slice, sps, offset);
        } else if (!slice.idr) {
            // Type 2: decode order is display order; a non-reference picture comes first.
            poc = saturatedMul(2, saturatedAdd(offset, slice.frameNum)) -
                  (slice.nalRefIdc == 0 ? 1 : 0);
        }
        prevFrameNumOffset_ = offset;
        prevFrameNum_ = slice.frameNum;
    }
    started_ = true;
    return poc;
}

std::int64_t PocCounter::fromLsb(const SliceHeader& slice, const Sps& sps) {
    if (slice.idr) {
        prevMsb_ = 0;
        prevLsb_ = 0;
    }
    const std::int64_t maxLsb = std::int64_t{1} << sps.log2MaxPocLsb;
    const std::int64_t lsb = slice.pocLsb;
    const std::int64_t prevLsb = prevLsb_;
    std::int64_t msb = prevMsb_;
    // The stream's first picture, and an HEVC IDR or BLA picture, count from zero.
    if (!started_ || (slice.hevc && slice.idr)) {
        msb = 0;
    } else if (lsb < prevLsb && prevLsb - lsb >= maxLsb / 2) {
        msb += maxLsb;
    } else if (lsb > prevLsb && lsb - prevLsb > maxLsb / 2) {
        msb -= maxLsb;
    }
    if (slice.nalRefIdc != 0) {
        prevMsb_ = msb;
        prevLsb_ = slice.pocLsb;
    }
    const std::int64_t top = msb + lsb;
    return pictureCount(slice, top, top + slice.deltaPocBottom);
}

std::int64_t PocCounter::frameNumOffset(const SliceHeader& slice, const Sps& sps) const {
    if (slice.idr || !started_) {
        return 0;
    }
    return prevFrameNum_ > slice.frameNum
               ? saturatedAdd(prevFrameNumOffset_, std::int64_t{1} << sps.log2MaxFrameNum)
               : prevFrameNumOffset_;
}

// Type 1: the count expected from the frame number's place in the cycle of reference
// frames, moved by the slice's deltas.
std::int64_t PocCounter::fromCycle(const SliceHeader& slice, const Sps& sps, std::int64_t offset) {
    const auto cycle = static_cast<std::int64_t>(sps.refFrameOffsets.size());
    std::int64_t absFrameNum = cycle != 0 ? saturatedAdd(offset, slice.frameNum) : 0;
    if (slice.nalRefIdc == 0 && absFrameNum > 0) {
        --absFrameNum;
    }
    std::int64_t expected = 0;
    if (absFrameNum > 0) {
        std::int64_t perCycle = 0;
        for (const std::int32_t o : sps.refFrameOffsets) {
            perCycle += o;
        }
        const std::int64_t inCycle = (absFrameNum - 1) % cycle;
        expected = saturatedMul((absFrameNum - 1) / cycle, perCycle);
        for (std::int64_t i = 0; i <= inCycle; ++i) {
            expected = saturatedAdd(expected, sps.refFrameOffsets[static_cast<std::size_t>(i)]);
        }
    }
    if (slice.nalRefIdc == 0) {
        expected = saturatedAdd(expected, sps.offsetForNonRefPic);
    }
    const std::int64_t top = saturatedAdd(expected, slice.deltaPoc[0]);
    const std::int64_t bottom =
        slice.fieldPic
            ? saturatedAdd(top, sps.offsetForTopToBottomField)
            : saturatedAdd(saturatedAdd(top, sps.offsetForTopToBottomField), slice.deltaPoc[1]);
    return pictureCount(slice, top, bottom);
}

} // namespace repair
