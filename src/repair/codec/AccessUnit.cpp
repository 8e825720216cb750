#include "codec/AccessUnit.h"

namespace repair {

bool AccessUnit::startsNew(const NalProbe& nal) const {
    if (!hasPicture_) {
        return false;
    }
    if (nal.kind.vcl) {
        // Without a parsed header each slice NAL unit is taken as its own picture.
        return !nal.slice || !sliceKnown_ || startsNewPicture(last_, *nal.slice);
    }
    return nal.kind.opensUnit;
}

void AccessUnit::add(std::uint64_t pos, const NalProbe& nal) {
    if (nalCount_++ == 0) {
        start_ = pos;
    }
    end_ = pos + nal.size;
    if (!nal.kind.vcl) {
        return;
    }
    if (!hasPicture_) {
        first_ = nal.slice.value_or(SliceHeader{});
    }
    hasPicture_ = true;
    sliceKnown_ = nal.slice.has_value();
    if (nal.slice) {
        last_ = *nal.slice;
    }
}

} // namespace repair
