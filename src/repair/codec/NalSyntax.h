#pragma once

#include <cstdint>

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

} // namespace repair
