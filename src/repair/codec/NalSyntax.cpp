#include "codec/NalSyntax.h"

#include "codec/H264Nal.h"

namespace repair {
namespace {

int hevcType(const std::uint8_t* h) {
    return (h[0] >> 1) & 0x3f;
}

bool plausibleHevc(const std::uint8_t* h) {
    const int type = hevcType(h);
    const int layer = ((h[0] & 1) << 5) | (h[1] >> 3);
    const int tidPlus1 = h[1] & 7;
    if ((h[0] & 0x80) || layer != 0 || tidPlus1 == 0) {
        return false;
    }
    // Slices (reserved VCL types excluded), parameter sets, delimiters, SEI, filler.
    const bool slice = type <= 9 || (type >= 16 && type <= 21);
    const bool irap = type >= 16 && type <= 23;
    return (slice && !(irap && tidPlus1 != 1)) || (type >= 32 && type <= 40);
}

} // namespace

bool plausibleHeader(VideoCodec c, const std::uint8_t* h) {
    return c == VideoCodec::Hevc ? plausibleHevc(h) : plausibleNalHeader(h[0]);
}

NalKind classify(VideoCodec c, const std::uint8_t* h) {
    NalKind k;
    if (c == VideoCodec::Hevc) {
        k.type = hevcType(h);
        k.vcl = k.type < 32;
        // VPS, SPS, PPS, delimiter and prefix SEI open an access unit; end of sequence or
        // bitstream, filler and suffix SEI close the current one.
        k.opensUnit = (k.type >= 32 && k.type <= 35) || k.type == 39;
        k.sps = k.type == 33;
        k.pps = k.type == 34;
    } else {
        k.type = nalType(h[0]);
        k.vcl = isVcl(k.type);
        k.opensUnit = k.type == 6 || k.type == 7 || k.type == 8 || k.type == 9;
        k.sps = k.type == 7;
        k.pps = k.type == 8;
    }
    return k;
}

} // namespace repair
