#include "codec/MpegJudge.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace repair {
namespace {

constexpr std::uint64_t kMaxPicture = 16u << 20;
constexpr std::uint8_t kJunk = 0xA5;

int codecId(MpegStandard standard) {
    return standard == MpegStandard::Mpeg2 ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_MPEG4;
}

} // namespace

MpegJudge::MpegJudge(MpegStandard standard, const std::vector<std::uint8_t>& config,
                     const ByteSource& reference, const std::vector<RefSample>& samples)
    : pictures_(codecId(standard), config, true), stream_(codecId(standard), config, true) {
    if (samples.empty() || samples[0].size > kMaxPicture || !pictures_.ok() || !stream_.ok()) {
        return;
    }
    // The reference's first picture, an I picture: it must be judged whole, and one byte
    // more must not be. It also gives both decoders a picture to refer to.
    const auto first = reference.bytes(samples[0].offset, samples[0].size);
    if (first.size() != samples[0].size || first.empty()) {
        return;
    }
    const bool whole = verdict(first.data(), first.size(), PictureType::I) == WholeVerdict::Exact;
    auto longer = first;
    longer.push_back(kJunk);
    ok_ = whole && verdict(longer.data(), longer.size(), PictureType::I) == WholeVerdict::NotExact;
    stream_.decode(first.data(), first.size(), false);
}

WholeVerdict MpegJudge::judge(const std::uint8_t* data, std::size_t size, PictureType type) {
    return ok_ ? verdict(data, size, type) : WholeVerdict::Unknown;
}

WholeVerdict MpegJudge::verdict(const std::uint8_t* data, std::size_t size, PictureType type) {
    AvDecoder& d = type == PictureType::B ? stream_ : pictures_;
    if (!d.decode(data, size, false)) {
        return WholeVerdict::NotExact;
    }
    if (d.frames() == 0) {
        return WholeVerdict::Unknown; // skipped, for want of reference pictures
    }
    return d.clean() ? WholeVerdict::Exact : WholeVerdict::NotExact;
}

void MpegJudge::follow(const ByteSource& media, std::uint64_t pos, std::uint64_t size) {
    if (ok_ && size <= kMaxPicture) {
        const auto b = media.bytes(pos, static_cast<std::size_t>(size));
        stream_.decode(b.data(), b.size(), false);
    }
}

} // namespace repair
