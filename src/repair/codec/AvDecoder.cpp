#include "codec/AvDecoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mem.h>
}

namespace repair {
namespace {

// Frames of the codecs judged this way stay far below this.
constexpr std::size_t kMaxPacket = std::size_t{16} << 20;
constexpr std::size_t kMaxExtradata = std::size_t{1} << 20;

} // namespace

AvDecoder::AvDecoder(int codecId, const std::vector<std::uint8_t>& extradata, bool lowDelay) {
    const AVCodec* codec = avcodec_find_decoder(static_cast<AVCodecID>(codecId));
    ctx_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!ctx_) {
        return;
    }
    if (!extradata.empty() && extradata.size() <= kMaxExtradata) {
        ctx_->extradata =
            static_cast<std::uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (ctx_->extradata) {
            std::memcpy(ctx_->extradata, extradata.data(), extradata.size());
            ctx_->extradata_size = static_cast<int>(extradata.size());
        }
    }
    ctx_->thread_count = 1;
    // Workarounds for encoder bugs are guessed from the bytes seen; frames judged on
    // purpose cut short would teach it wrong ones.
    ctx_->workaround_bugs = 0;
    if (lowDelay) {
        ctx_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    }
    ctx_->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_AGGRESSIVE;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!packet_ || !frame_ || avcodec_open2(ctx_, codec, nullptr) < 0) {
        avcodec_free_context(&ctx_);
    }
}

AvDecoder::~AvDecoder() {
    avcodec_free_context(&ctx_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
}

bool AvDecoder::decode(const std::uint8_t* data, std::size_t size, bool fresh) {
    samples_ = 0;
    frames_ = 0;
    clean_ = true;
    if (!ok() || size == 0 || size > kMaxPacket) {
        return false;
    }
    if (fresh) {
        avcodec_flush_buffers(ctx_);
    }
    // A picture left over from a packet that failed is not this packet's.
    while (avcodec_receive_frame(ctx_, frame_) >= 0) {
        av_frame_unref(frame_);
    }
    av_packet_unref(packet_);
    if (av_new_packet(packet_, static_cast<int>(size)) < 0) {
        return false;
    }
    std::memcpy(packet_->data, data, size);
    if (avcodec_send_packet(ctx_, packet_) < 0) {
        return false;
    }
    int r = 0;
    while ((r = avcodec_receive_frame(ctx_, frame_)) >= 0) {
        samples_ = frame_->nb_samples;
        ++frames_;
        clean_ = frame_->decode_error_flags == 0;
        av_frame_unref(frame_);
    }
    return r == AVERROR(EAGAIN) || r == AVERROR_EOF;
}

bool AvDecoder::decodeAlone(const std::uint8_t* data, std::size_t size) {
    samples_ = 0;
    frames_ = 0;
    clean_ = true;
    looks_.clear();
    if (!ok() || size == 0 || size > kMaxPacket) {
        return false;
    }
    avcodec_flush_buffers(ctx_);
    av_packet_unref(packet_);
    if (av_new_packet(packet_, static_cast<int>(size)) < 0) {
        return false;
    }
    std::memcpy(packet_->data, data, size);
    bool good = avcodec_send_packet(ctx_, packet_) >= 0 && receiveAll();
    // Pictures held back for reordering come out when the stream ends.
    good = good && avcodec_send_packet(ctx_, nullptr) >= 0 && receiveAll();
    avcodec_flush_buffers(ctx_);
    return good && frames_ > 0 && clean_;
}

bool AvDecoder::decodeRun(const std::vector<std::vector<std::uint8_t>>& packets) {
    frames_ = 0;
    clean_ = true;
    if (!ok()) {
        return false;
    }
    avcodec_flush_buffers(ctx_);
    bool good = true;
    for (const auto& p : packets) {
        av_packet_unref(packet_);
        good = good && !p.empty() && p.size() <= kMaxPacket &&
               av_new_packet(packet_, static_cast<int>(p.size())) >= 0;
        if (!good) {
            break;
        }
        std::memcpy(packet_->data, p.data(), p.size());
        good = avcodec_send_packet(ctx_, packet_) >= 0 && receiveAll();
    }
    good = good && avcodec_send_packet(ctx_, nullptr) >= 0 && receiveAll();
    avcodec_flush_buffers(ctx_);
    return good && frames_ == static_cast<int>(packets.size()) && clean_;
}

// Takes every frame the decoder has; false on an error other than wanting more input.
bool AvDecoder::receiveAll() {
    int r = 0;
    while ((r = avcodec_receive_frame(ctx_, frame_)) >= 0) {
        ++frames_;
        samples_ = frame_->nb_samples;
        clean_ =
            clean_ && frame_->decode_error_flags == 0 && !(frame_->flags & AV_FRAME_FLAG_CORRUPT);
        describeFrame();
        av_frame_unref(frame_);
    }
    return r == AVERROR(EAGAIN) || r == AVERROR_EOF;
}

void AvDecoder::describeFrame() {
    const char* profile = avcodec_profile_name(ctx_->codec_id, ctx_->profile);
    width_ = frame_->width;
    height_ = frame_->height;
    if (frame_->width > 0) {
        looks_ = std::to_string(frame_->width) + "x" + std::to_string(frame_->height);
    } else {
        looks_ = std::to_string(frame_->sample_rate) + " Hz " +
                 std::to_string(frame_->ch_layout.nb_channels) + " ch";
    }
    if (profile) {
        looks_ += std::string(" ") + profile;
    }
}

} // namespace repair
