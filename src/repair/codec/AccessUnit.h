#pragma once

#include "codec/VideoProbe.h"

#include <cstdint>

namespace repair {

// Collects NAL units into one access unit (one video sample) and tells where the next
// one begins (H.264 7.4.1.2.3-4, for streams without arbitrary slice order; HEVC 7.4.2.4.4).
class AccessUnit {
public:
    bool empty() const { return nalCount_ == 0; }
    bool hasPicture() const { return hasPicture_; }
    std::uint64_t start() const { return start_; }
    std::uint64_t end() const { return end_; }
    bool idr() const { return first_.idr; }
    bool sync() const { return first_.sync; }
    const SliceHeader& firstSlice() const { return first_; }

    // True when this NAL unit cannot belong to the unit collected so far.
    bool startsNew(const NalProbe& nal) const;
    void add(std::uint64_t pos, const NalProbe& nal);
    void clear() { *this = AccessUnit(); }

private:
    std::uint64_t start_ = 0;
    std::uint64_t end_ = 0;
    int nalCount_ = 0;
    bool hasPicture_ = false;
    bool sliceKnown_ = false;
    SliceHeader first_;
    SliceHeader last_;
};

} // namespace repair
