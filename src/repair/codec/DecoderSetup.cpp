#include "codec/DecoderSetup.h"

#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/EsDescriptor.h"
#include "codec/NalVideo.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace repair {
namespace {

constexpr std::uint8_t kMpeg4Audio = 0x40;

std::optional<DecoderSetup> nalSetup(const RefTrack& t, VideoCodec codec, AVCodecID id) {
    const auto config = nalConfig(t, codec);
    if (!config) {
        return std::nullopt;
    }
    return DecoderSetup{id, t.decoderConfig, config->lengthSize};
}

} // namespace

std::optional<DecoderSetup> decoderSetup(const RefTrack& t) {
    switch (t.codec) {
    case fourcc("avc1"):
    case fourcc("avc3"):
        return nalSetup(t, VideoCodec::H264, AV_CODEC_ID_H264);
    case fourcc("hvc1"):
    case fourcc("hev1"):
        return nalSetup(t, VideoCodec::Hevc, AV_CODEC_ID_HEVC);
    case fourcc("jpeg"):
    case fourcc("mjpa"):
        return DecoderSetup{AV_CODEC_ID_MJPEG, {}, 0};
    case fourcc("mp4a"): {
        const auto es = parseEsConfig(t.decoderConfig.data(), t.decoderConfig.size());
        if (!es || es->objectType != kMpeg4Audio || es->specificInfo.empty()) {
            return std::nullopt;
        }
        return DecoderSetup{AV_CODEC_ID_AAC, es->specificInfo, 0};
    }
    default:
        return std::nullopt;
    }
}

std::vector<std::uint8_t> withStartCodes(const std::vector<std::uint8_t>& sample, int lengthSize) {
    std::vector<std::uint8_t> out;
    const bool whole =
        forEachNal(sample, lengthSize, [&](const std::uint8_t* nal, std::size_t size) {
            out.insert(out.end(), {0, 0, 0, 1});
            out.insert(out.end(), nal, nal + size);
            return true;
        });
    return whole ? out : std::vector<std::uint8_t>{};
}

} // namespace repair
