#pragma once

#include "H264Nal.h"

#include <cstdint>
#include <vector>

namespace repair {

// Display order key of one picture in decode order.
struct PictureOrder {
    std::int64_t poc = 0;
    bool idr = false;
};

// Picture order count from slice headers (8.2.1). Order type 1 counts decode order, which
// is how cameras using it emit pictures.
class PocCounter {
public:
    std::int64_t next(const SliceHeader& slice, const Sps& sps);

private:
    std::int64_t fromFrameNum(const SliceHeader& slice, const Sps& sps);
    std::int64_t prevMsb_ = 0;
    std::int64_t frameNumOffset_ = 0;
    std::uint32_t prevFrameNum_ = 0;
    std::uint32_t prevLsb_ = 0;
    std::int64_t decodeIndex_ = 0;
};

// Composition offsets (ctts), in units of the frame duration, for pictures in decode order.
// Empty when display order equals decode order. Offsets are never negative.
std::vector<std::uint32_t> compositionOffsets(const std::vector<PictureOrder>& pictures);

} // namespace repair
