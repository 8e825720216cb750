#include "codec/ParsedFacts.h"

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
}

namespace repair {
namespace {

struct Parsed {
    AVCodecParserContext* parser = nullptr;
    AVCodecContext* ctx = nullptr;
    ~Parsed() {
        av_parser_close(parser);
        avcodec_free_context(&ctx);
    }
};

// Runs the codec's parser over one complete frame; the parser and its context keep what
// the headers said.
std::unique_ptr<Parsed> parse(AVCodecID id, const std::uint8_t* data, std::size_t size) {
    auto p = std::make_unique<Parsed>();
    p->parser = av_parser_init(id);
    p->ctx = avcodec_alloc_context3(nullptr);
    if (!p->parser || !p->ctx || size > static_cast<std::size_t>(INT32_MAX / 2)) {
        return nullptr;
    }
    p->ctx->codec_id = id;
#if LIBAVCODEC_VERSION_INT < AV_VERSION_INT(60, 12, 100)
    // An H.264 tick is a field: the parser counts the frame rate in the ticks a frame takes,
    // as its decoder sets them (later versions count two on their own).
    if (id == AV_CODEC_ID_H264) {
        p->ctx->ticks_per_frame = 2;
    }
#endif
    // Video is handed over whole. The AC-3 parser tells a frame's fields only when the next
    // frame's header follows it: the frame goes in twice.
    std::vector<std::uint8_t> padded(data, data + size);
    if (id == AV_CODEC_ID_AC3) {
        padded.insert(padded.end(), data, data + size);
    } else {
        p->parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    }
    const std::size_t n = padded.size();
    padded.resize(n + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::uint8_t* out = nullptr;
    int outSize = 0;
    av_parser_parse2(p->parser, p->ctx, &out, &outSize, padded.data(), static_cast<int>(n),
                     AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    return p;
}

} // namespace

std::optional<VideoFacts> videoFacts(VideoCodec codec, const std::vector<std::uint8_t>& annexB) {
    const AVCodecID id = codec == VideoCodec::Hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
    const auto p = parse(id, annexB.data(), annexB.size());
    if (!p) {
        return std::nullopt;
    }
    VideoFacts f;
    f.width = p->parser->width > 0 ? p->parser->width : p->ctx->width;
    f.height = p->parser->height > 0 ? p->parser->height : p->ctx->height;
    if (f.width <= 0 || f.height <= 0) {
        return std::nullopt;
    }
    if (const char* name = avcodec_profile_name(id, p->ctx->profile)) {
        f.profile = name;
    }
    f.level = p->ctx->level > 0 ? p->ctx->level : 0;
    if (p->ctx->framerate.num > 0 && p->ctx->framerate.den > 0) {
        f.fpsNum = p->ctx->framerate.num;
        f.fpsDen = p->ctx->framerate.den;
    }
    if (const AVPixFmtDescriptor* d =
            av_pix_fmt_desc_get(static_cast<AVPixelFormat>(p->parser->format))) {
        f.bitDepth = d->comp[0].depth;
        f.chromaFormat = d->nb_components < 3    ? 0
                         : d->log2_chroma_h == 1 ? 1
                         : d->log2_chroma_w == 1 ? 2
                                                 : 3;
    }
    return f;
}

std::optional<SoundFacts> ac3Facts(const std::uint8_t* frame, std::size_t size) {
    const auto p = parse(AV_CODEC_ID_AC3, frame, size);
    if (!p || p->ctx->sample_rate <= 0) {
        return std::nullopt;
    }
    return SoundFacts{p->ctx->sample_rate, p->ctx->ch_layout.nb_channels,
                      p->ctx->codec_id == AV_CODEC_ID_EAC3};
}

} // namespace repair
