#include "codec/ConfigFault.h"

#include "box/Box.h"
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/AacConfig.h"
#include "codec/EsDescriptor.h"
#include "codec/H264Params.h"

namespace repair {
namespace {

std::string unreadable(const RefTrack& t, const char* box) {
    const std::string what = std::string("its ") + box;
    return (t.decoderConfig.empty() ? "its sample description has no " + std::string(box)
                                    : what + " does not parse") +
           " (the decoder configuration)";
}

} // namespace

std::string configFault(const RefTrack& t) {
    const auto* b = t.decoderConfig.data();
    const auto n = t.decoderConfig.size();
    if (t.codec == fourcc("avc1") || t.codec == fourcc("avc3")) {
        return parseAvcC(b, n) ? "" : unreadable(t, "avcC");
    }
    if (t.codec == fourcc("hvc1") || t.codec == fourcc("hev1")) {
        return parseHvcC(b, n) ? "" : unreadable(t, "hvcC");
    }
    if (t.codec == fourcc("mp4a")) {
        // Other sound than AAC may travel in mp4a: that is a codec not supported, not a fault.
        const auto es = parseEsConfig(b, n);
        const bool aac =
            es && (es->objectType == 0x40 || (es->objectType >= 0x66 && es->objectType <= 0x68));
        return !es || (aac && !parseEsds(b, n)) ? unreadable(t, "esds") : "";
    }
    return "";
}

} // namespace repair
