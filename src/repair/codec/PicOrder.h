#pragma once

#include "codec/H264Nal.h"

#include <cstdint>

namespace repair {

// Picture order count from slice headers, for pictures taken in decode order: H.264 (8.2.1,
// all three order types) and HEVC (8.3.1, given its log2_max_pic_order_cnt_lsb in an Sps of
// order type 0). Resets by memory management operation 5 are not seen: slice headers are
// read only as far as the order count.
class PocCounter {
public:
    std::int64_t next(const SliceHeader& slice, const Sps& sps);

private:
    std::int64_t fromLsb(const SliceHeader& slice, const Sps& sps);
    std::int64_t frameNumOffset(const SliceHeader& slice, const Sps& sps) const;
    static std::int64_t fromCycle(const SliceHeader& slice, const Sps& sps, std::int64_t offset);

    bool started_ = false;
    std::int64_t prevMsb_ = 0;
    std::uint32_t prevLsb_ = 0;
    std::int64_t prevFrameNumOffset_ = 0;
    std::uint32_t prevFrameNum_ = 0;
};

} // namespace repair
