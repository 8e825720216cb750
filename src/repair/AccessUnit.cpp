#include "AccessUnit.h"

namespace repair {

bool AccessUnit::startsNew(const NalProbe& nal) const {
    if (!hasPicture_) {
        return false;
    }
    const int type = nalType(nal.header);
    if (isVcl(type)) {
        // Without a parsed header each slice NAL unit is taken as its own picture.
        return !nal.slice || !sliceKnown_ || startsNewPicture(last_, *nal.slice);
    }
    // SEI, parameter sets and delimiters open the next access unit; end-of-sequence,
    // end-of-stream and filler data close the current one.
    return type == 6 || type == 7 || type == 8 || type == 9;
}

void AccessUnit::add(std::uint64_t pos, const NalProbe& nal) {
    if (nalCount_++ == 0) {
        start_ = pos;
    }
    end_ = pos + nal.size;
    if (!isVcl(nalType(nal.header))) {
        return;
    }
    if (!hasPicture_) {
        first_ = nal.slice.value_or(SliceHeader{});
        first_.idr = nalType(nal.header) == 5;
    }
    hasPicture_ = true;
    sliceKnown_ = nal.slice.has_value();
    if (nal.slice) {
        last_ = *nal.slice;
    }
}

} // namespace repair
