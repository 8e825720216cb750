// H.264 video (avc1, avc3): access units of length-prefixed NAL units.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"
#include "codec/NalVideo.h"

namespace repair {
namespace {

bool handles(const RefTrack& t) {
    return (t.codec == fourcc("avc1") || t.codec == fourcc("avc3")) &&
           nalConfig(t, VideoCodec::H264).has_value();
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return makeNalVideo(s, VideoCodec::H264, "H.264");
}

} // namespace

extern const CodecFamily kH264Family = {"H.264", "video", "avc1 avc3", handles, make};

} // namespace repair
