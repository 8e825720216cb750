#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace repair {

enum class VideoCodec { H264, Hevc };

// What the walker needs to know of a NAL unit type, for either codec.
struct NalKind {
    int type = 0;
    bool vcl = false;       // a slice of a picture
    bool opensUnit = false; // a non-slice unit that begins the next access unit
    bool sps = false;
    bool pps = false;
};

inline int nalHeaderSize(VideoCodec c) {
    return c == VideoCodec::Hevc ? 2 : 1;
}

// Header rules a camera stream keeps (forbidden bit, known type, H.264 nal_ref_idc and
// HEVC layer/temporal ids). h holds nalHeaderSize bytes.
bool plausibleHeader(VideoCodec c, const std::uint8_t* h);

NalKind classify(VideoCodec c, const std::uint8_t* h);

// Hands each length-prefixed NAL unit of a sample to `unit(data, size)`, in order, for as long
// as it returns true. False when a length prefix or a unit runs past the sample's end, or the
// length size is not 1 to 4.
template <typename Unit>
bool forEachNal(std::span<const std::uint8_t> sample, int lengthSize, Unit&& unit) {
    if (lengthSize < 1 || lengthSize > 4) {
        return false;
    }
    const auto ls = static_cast<std::size_t>(lengthSize);
    std::size_t at = 0;
    while (at < sample.size()) {
        if (sample.size() - at < ls) {
            return false;
        }
        std::size_t n = 0;
        for (std::size_t i = 0; i < ls; ++i) {
            n = (n << 8) | sample[at + i];
        }
        at += ls;
        if (n > sample.size() - at) {
            return false;
        }
        if (!unit(sample.data() + at, n)) {
            return true;
        }
        at += n;
    }
    return true;
}

} // namespace repair
