#include "codec/AacFrameFinder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mem.h>
}

namespace repair {
namespace {

// An AAC frame holds at most 6144 bits per channel; twice that leaves room for
// encoders that overshoot.
constexpr std::size_t kMaxBytesPerChannel = 1536;
constexpr std::size_t kMaxFramesPerRun = 128;
constexpr std::size_t kEndSlack = 64;

enum Element { Sce = 0, Cpe = 1, Cce = 2, Lfe = 3, Dse = 4, Pce = 5, Fil = 6, End = 7 };

} // namespace

AacFrameFinder::AacFrameFinder(const AacConfig& config, int lowGainThreshold, bool walk)
    : channels_(config.channels), lowGain_(lowGainThreshold) {
    if (const auto layout = aacLayout(config.audioSpecificConfig); walk && layout) {
        walker_.emplace(*layout);
    }
    maxFrame_ =
        kMaxBytesPerChannel * static_cast<std::size_t>(std::clamp(channels_ ? channels_ : 8, 1, 8));
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    ctx_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!ctx_) {
        return;
    }
    const auto& asc = config.audioSpecificConfig;
    ctx_->extradata =
        static_cast<std::uint8_t*>(av_mallocz(asc.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (ctx_->extradata) {
        std::memcpy(ctx_->extradata, asc.data(), asc.size());
        ctx_->extradata_size = static_cast<int>(asc.size());
    }
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!ctx_->extradata || !packet_ || !frame_ || avcodec_open2(ctx_, codec, nullptr) < 0) {
        avcodec_free_context(&ctx_);
    }
}

AacFrameFinder::~AacFrameFinder() {
    avcodec_free_context(&ctx_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
}

bool AacFrameFinder::plausibleStart(const std::uint8_t* p, std::size_t n) const {
    if (n < 2) {
        return false;
    }
    const int element = p[0] >> 5;
    if (channels_ == 1) {
        return element == Sce || element == Fil || element == Dse;
    }
    return element != Cce && element != End && element != Pce;
}

bool AacFrameFinder::lowGain(const std::uint8_t* p, std::size_t n) const {
    if (channels_ != 1 || n < 2 || (p[0] >> 5) != Sce) {
        return false;
    }
    const int gain = ((p[0] & 1) << 7) | (p[1] >> 1);
    return gain < lowGain_;
}

bool AacFrameFinder::send(const std::uint8_t* data, std::size_t size) {
    avcodec_flush_buffers(ctx_);
    av_packet_unref(packet_);
    if (size == 0 || size > 1u << 24 || av_new_packet(packet_, static_cast<int>(size)) < 0) {
        return false;
    }
    std::memcpy(packet_->data, data, size);
    return avcodec_send_packet(ctx_, packet_) >= 0;
}

bool AacFrameFinder::libavDecodes(const std::uint8_t* data, std::size_t size) {
    return ok() && send(data, size) && avcodec_receive_frame(ctx_, frame_) >= 0;
}

bool AacFrameFinder::decodes(const std::uint8_t* data, std::size_t size) {
    if (ok() && walker_) {
        const AacStep step = walker_->next(data, size, 0);
        if (step.result != AacBlock::Result::Unknown) {
            return step.result == AacBlock::Result::Ok;
        }
    }
    return libavDecodes(data, size);
}

// The run that decodeRun() finds, from walking the frames; nothing where the walk cannot
// tell.
std::optional<AacFrameFinder::Run> AacFrameFinder::walkRun(const std::uint8_t* data,
                                                           std::size_t size, const Stop& stop) {
    Run run;
    auto& starts = run.starts;
    AacStep step = walker_->next(data, size, 0);
    while (step.result == AacBlock::Result::Ok && starts.size() < kMaxFramesPerRun) {
        if (!starts.empty() && (step.start == size || step.start <= starts.back())) {
            break;
        }
        starts.push_back(starts.empty() ? 0 : step.start);
        run.lastEnd.reset();
        if (starts.back() == step.start) {
            run.lastEnd = step.needed;
        }
        if (starts.size() > 1 && stop(step.start)) {
            run.stopped = true;
            break;
        }
        step = walker_->next(data, size, step.start + step.length);
    }
    if (step.result == AacBlock::Result::Unknown && !run.stopped &&
        starts.size() < kMaxFramesPerRun) {
        return std::nullopt;
    }
    return run;
}

AacFrameFinder::Run AacFrameFinder::decodeRun(const std::uint8_t* data, std::size_t size,
                                              const Stop& stop) {
    if (walker_) {
        if (auto run = walkRun(data, size, stop)) {
            return *run;
        }
    }
    Run run;
    auto& starts = run.starts;
    if (!send(data, size) || avcodec_receive_frame(ctx_, frame_) < 0) {
        return run;
    }
    starts.push_back(0);
    // The decoder keeps the unused rest of the packet and decodes it on the next call;
    // the size it reports for that frame is what was left, which gives its start. Frames
    // after a place where the run has to stop are not decoded.
    while (starts.size() < kMaxFramesPerRun && avcodec_receive_frame(ctx_, frame_) >= 0) {
        const auto left = static_cast<std::size_t>(std::max(frame_->pkt_size, 0));
        if (left == 0 || left >= size - starts.back()) {
            break;
        }
        starts.push_back(size - left);
        if (stop(starts.back())) {
            run.stopped = true;
            break;
        }
    }
    return run;
}

// The shortest length from which data[0, length) decodes, 0 for none, from walking the
// first frame; nothing where only decoding can tell.
std::optional<std::size_t> AacFrameFinder::walkedEnd(const std::uint8_t* data,
                                                     std::size_t longest) {
    if (!walker_) {
        return std::nullopt;
    }
    // A frame that is refused with all the bytes in view is refused with fewer too: it was
    // either unsound or cut short.
    const AacBlock b = walker_->walk(data, longest);
    if (b.result == AacBlock::Result::Bad) {
        return 0;
    }
    if (b.result == AacBlock::Result::Ok && b.audio) {
        return (b.neededBits + 7) / 8;
    }
    return std::nullopt; // frames without channels, or ones only libavcodec can tell
}

bool AacFrameFinder::decodesAt(const std::uint8_t* data, std::size_t size,
                               std::optional<std::size_t> end) {
    return end ? *end != 0 && size >= *end : decodes(data, size);
}

std::size_t AacFrameFinder::shortestDecoding(const std::uint8_t* data, std::size_t longest) {
    if (!decodes(data, longest)) {
        return 0;
    }
    std::size_t lo = 1;
    std::size_t hi = longest;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (decodes(data, mid)) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

std::size_t AacFrameFinder::lastFrameLength(const std::uint8_t* data, std::size_t size, View view,
                                            const Stop& otherStart, const Stop& sureStart,
                                            std::optional<std::size_t> walked) {
    const std::size_t longest = std::min(maxFrame_, size);
    const bool realEnd = view.reachesEnd && view.endIsReal;
    // A frame walked in the run need not be walked again: it is whole within `longest`
    // bytes or not at all.
    const std::optional<std::size_t> end =
        walked ? (*walked <= longest ? *walked : 0) : walkedEnd(data, longest);
    // Usually a sample that is surely recognised (video) follows: a cheap question per
    // byte, and a decode only where it says yes. A walked frame ends where its END element
    // does: only a few padding bytes may follow it before the next sample. Bytes of a track
    // that cannot be surely recognised (a timecode sample) may lie between the frame and a
    // sure sample: the frame then decodes shorter too, and ends where such a sample starts.
    const std::size_t first = end ? (*end != 0 ? *end : longest) : 1;
    const std::size_t last = end ? std::min(longest, first + kEndSlack + 1) : longest;
    for (std::size_t len = std::max<std::size_t>(first, 1); len < last; ++len) {
        if (!sureStart(len) || !decodesAt(data, len, end)) {
            continue;
        }
        if (decodesAt(data, len - 1, end)) {
            const std::size_t from = std::max(first, len > kEndSlack ? len - kEndSlack : 1);
            for (std::size_t l = from; l + 1 < len; ++l) {
                if (otherStart(l) && decodesAt(data, l, end)) {
                    return l;
                }
            }
            // Bytes past the frame's own end that are not padding are another track's that
            // say nothing of themselves (metadata placed between): the frame ends before them.
            const std::size_t own = end ? *end : shortestDecoding(data, len);
            if (own > 0 && own < len &&
                !std::all_of(data + own, data + len, [](std::uint8_t b) { return b == 0; })) {
                return own;
            }
        }
        return len;
    }
    if (size < maxFrame_ && !view.reachesEnd) {
        return 0; // not enough bytes in view to tell
    }
    const std::size_t lo = end ? *end : shortestDecoding(data, longest);
    if (lo == 0) {
        return 0;
    }
    // Another track's sample that needs decoding to be told: the frame decodes from its
    // own bytes only, so it ends at or a little after the shortest length that decodes.
    for (std::size_t len = lo; len <= std::min(longest, lo + kEndSlack); ++len) {
        if ((len == size ? realEnd : otherStart(len)) && decodesAt(data, len, end)) {
            return len;
        }
    }
    // A frame that needs every byte up to a cut is whole: the decoder does not take a frame
    // without its END element, its last bits, which a cut-off frame has lost.
    return lo;
}

std::vector<std::uint32_t>
AacFrameFinder::frames(const std::uint8_t* data, std::size_t size, View view,
                       const std::function<bool(std::size_t)>& otherStart,
                       const std::function<bool(std::size_t)>& sureStart) {
    std::vector<std::uint32_t> out;
    if (!ok() || !plausibleStart(data, size)) {
        return out;
    }
    const Run run = decodeRun(data, size, [&](std::size_t at) {
        return otherStart(at) || !plausibleStart(data + at, size - at);
    });
    const auto& starts = run.starts;
    for (std::size_t i = 1; i < starts.size(); ++i) {
        out.push_back(static_cast<std::uint32_t>(starts[i] - starts[i - 1]));
    }
    if (run.stopped || starts.empty() || starts.size() >= kMaxFramesPerRun) {
        return out; // a full run ends where the next one starts
    }
    const std::size_t last = starts.back();
    if (const std::size_t len = lastFrameLength(
            data + last, size - last, view, [&](std::size_t i) { return otherStart(last + i); },
            [&](std::size_t i) { return sureStart(last + i); }, run.lastEnd)) {
        out.push_back(static_cast<std::uint32_t>(len));
    }
    return out;
}

} // namespace repair
