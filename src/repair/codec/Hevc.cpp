// HEVC video (hvc1, hev1): access units of length-prefixed NAL units.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"
#include "codec/NalVideo.h"

namespace repair {
namespace {

bool handles(const RefTrack& t) {
    return (t.codec == fourcc("hvc1") || t.codec == fourcc("hev1")) &&
           nalConfig(t, VideoCodec::Hevc).has_value();
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return makeNalVideo(s, VideoCodec::Hevc, "HEVC");
}

} // namespace

extern const CodecFamily kHevcFamily = {"HEVC", "video", "hvc1 hev1", handles, make};

} // namespace repair
