#include "codec/MpegCount.h"

#include <utility>

namespace repair {
namespace {

// temporal_reference is a 10-bit count (ISO/IEC 13818-2 6.3.9).
constexpr std::int64_t kReferenceRange = 1024;

} // namespace

void MpegCount::taken(int temporalReference, int type, bool opensGop,
                      std::optional<std::int64_t> gopPictures) {
    if (opensGop) {
        if (gopPictures && hit_) {
            const std::int64_t lost = *gopPictures - hit_->pictures - hit_->taken - since_;
            if (lost >= 0) {
                settled_ = static_cast<std::uint64_t>(lost);
            }
        } else if (gopPictures && gop_) {
            agreed_ = *gopPictures == gop_->pictures + gop_->taken ? agreed_ + 1 : 0;
        }
        hit_.reset();
        gop_.reset();
        if (gopPictures) {
            gop_ = Gop{*gopPictures, 0};
        }
    }
    if (gop_) {
        ++gop_->taken;
    }
    ++since_;
    orders_.add({temporalReference, opensGop, false}, type);
}

std::optional<std::uint64_t> MpegCount::settled() {
    return std::exchange(settled_, std::nullopt);
}

void MpegCount::gap() {
    orders_.gap();
    hit_ = trusted() ? gop_ : std::nullopt;
    gop_.reset(); // what was lost of it is not known until counted
    since_ = 0;
    settled_.reset();
}

std::vector<std::uint64_t> MpegCount::lostBefore(int temporalReference, int type, bool opensGop,
                                                 std::optional<std::int64_t> gopPictures,
                                                 std::uint64_t upTo) {
    gap();
    if (opensGop && gopPictures && hit_) {
        const std::int64_t lost = *gopPictures - hit_->pictures - hit_->taken;
        hit_.reset();
        if (lost >= 0 && static_cast<std::uint64_t>(lost) <= upTo) {
            return {static_cast<std::uint64_t>(lost)};
        }
    }
    return orders_.lostBefore({temporalReference, kReferenceRange, opensGop, type}, upTo);
}

} // namespace repair
