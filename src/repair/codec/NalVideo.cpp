#include "codec/NalVideo.h"

#include "box/Reference.h"
#include "codec/NalOrder.h"
#include "codec/VideoProbe.h"

#include <algorithm>

namespace repair {
namespace {

constexpr std::uint64_t kMaxParamSetBytes = 1024;
// Access units of more NAL units than this are not a camera's.
constexpr int kMaxNalsPerUnit = 4096;

constexpr std::uint64_t kMinMaxNal = 256u << 10;
constexpr std::uint64_t kMaxMaxNal = 64u << 20;

// Pictures of one role in the group of pictures: slice type (I, P, B) and whether others
// refer to it.
int pictureKind(const SliceHeader& first) {
    return static_cast<int>(first.sliceType % 5) * 2 + (first.nalRefIdc != 0 ? 1 : 0);
}

} // namespace

VideoProbeSettings nalVideoSettings(const CodecSetup& setup, VideoCodec codec,
                                    const AvcConfig& config) {
    VideoProbeSettings s;
    s.codec = codec;
    s.lengthSize = config.lengthSize;
    s.maxNal = std::clamp<std::uint64_t>(std::uint64_t{setup.track.maxSampleSize} * 8, kMinMaxNal,
                                         kMaxMaxNal);
    s.level = setup.videoLevel;
    return s;
}

std::optional<AvcConfig> nalConfig(const RefTrack& track, VideoCodec codec) {
    const auto& b = track.decoderConfig;
    return codec == VideoCodec::Hevc ? parseHvcC(b.data(), b.size())
                                     : parseAvcC(b.data(), b.size());
}

std::unique_ptr<Codec> makeNalVideo(const CodecSetup& setup, VideoCodec codec, std::string name) {
    const AvcConfig config = nalConfig(setup.track, codec).value();
    return std::make_unique<NalVideo>(nalVideoSettings(setup, codec, config), config,
                                      nalOrderHints(setup, codec, config), std::move(name));
}

NalVideo::NalVideo(VideoProbeSettings settings, const AvcConfig& config, OrderHints hints,
                   std::string name)
    : settings_(settings), params_(config.params), lengthSize_(config.lengthSize),
      name_(std::move(name)), hints_(hints) {}

void NalVideo::learnParamSet(MediaView& media, std::uint64_t pos, const NalProbe& nal,
                             ParamSets& into) const {
    const auto ls = static_cast<std::uint64_t>(lengthSize_);
    if ((!nal.kind.sps && !nal.kind.pps) || nal.size > kMaxParamSetBytes + ls) {
        return;
    }
    const auto b = media.bytes(pos + ls, static_cast<std::size_t>(nal.size - ls));
    const bool hevc = settings_.codec == VideoCodec::Hevc;
    if (nal.kind.sps) {
        hevc ? into.addHevcSps(b.data(), b.size()) : into.addSps(b.data(), b.size());
    } else {
        hevc ? into.addHevcPps(b.data(), b.size()) : into.addPps(b.data(), b.size());
    }
}

// Most places asked about hold no NAL unit: a length prefix and header that fit are
// looked at before anything else.
bool NalVideo::couldStart(MediaView& media, std::uint64_t pos) const {
    std::uint8_t b[8];
    const auto want = static_cast<std::size_t>(lengthSize_ + nalHeaderSize(settings_.codec));
    return media.read(pos, b, want) == want && prefixFits(b);
}

// A length prefix and NAL header at b (lengthSize_ + header bytes) that fit.
bool NalVideo::prefixFits(const std::uint8_t* b) const {
    const auto ls = static_cast<std::size_t>(lengthSize_);
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < ls; ++i) {
        n = (n << 8) | b[i];
    }
    const auto hs = static_cast<std::uint64_t>(nalHeaderSize(settings_.codec));
    return n >= hs && n <= settings_.maxNal && plausibleHeader(settings_.codec, b + ls);
}

std::size_t NalVideo::nextCandidate(const std::uint8_t* data, std::size_t n) const {
    const auto ls = static_cast<std::size_t>(lengthSize_);
    const std::size_t want = ls + static_cast<std::size_t>(nalHeaderSize(settings_.codec));
    if (ls == 0 || ls > sizeof(std::uint64_t) || n < want) {
        return 0;
    }
    // Every length up to the largest believable NAL unit starts with a byte no greater than
    // this: it alone rules out all but a few bytes in a hundred of random data.
    const std::uint64_t top = settings_.maxNal >> (8 * (ls - 1));
    const auto most = static_cast<std::uint8_t>(std::min<std::uint64_t>(top, 255));
    const std::size_t last = n - want;
    for (std::size_t i = 0; i <= last; ++i) {
        if (data[i] <= most && prefixFits(data + i)) {
            return i;
        }
    }
    return last + 1;
}

// Collects the NAL units of one access unit from pos on. Parameter sets inside the unit
// apply to its own slices, so they go into a copy until the unit is taken.
NalVideo::Unit NalVideo::assemble(MediaView& media, std::uint64_t pos) const {
    Unit u;
    u.pos = pos;
    if (!couldStart(media, pos)) {
        return u;
    }
    const ParamSets* params = &params_;
    std::uint64_t q = pos;
    for (int n = 0; n < kMaxNalsPerUnit && q < media.limit(); ++n) {
        VideoProbe probe(media, media.limit(), *params, settings_);
        probe.setAudioStart([&media](std::uint64_t at) { return media.mayStartAt(at); });
        NalProbe nal = probe.probe(q, nullptr, 0);
        // The last unit of a picture before damage: whole, but nothing known follows it.
        const bool last =
            nal.followerFailed && nal.kind.vcl && (u.au.empty() || !u.au.startsNew(nal));
        if (last) {
            nal.verdict = Verdict::Strong;
        }
        if (nal.verdict == Verdict::No || (!u.au.empty() && u.au.startsNew(nal))) {
            break;
        }
        if (nal.kind.vcl && nal.slice && !u.au.hasPicture() && !opensPicture(*nal.slice, *params)) {
            return {}; // a sample starts with its picture's first slice
        }
        if (nal.verdict == Verdict::Truncated) {
            u.guess = {u.au.empty() ? Sureness::Likely : Sureness::Sure, q + nal.size - pos, true};
            return u;
        }
        if (nal.kind.sps || nal.kind.pps) {
            if (!u.params) {
                u.params = params_;
                params = &*u.params;
            }
            learnParamSet(media, q, nal, *u.params);
        }
        if (nal.verdict == Verdict::Strong && nal.kind.vcl) {
            u.guess.sure = Sureness::Sure;
        } else if (u.guess.sure == Sureness::No) {
            // At the lowest recognition level a fitting length and header is all there is.
            u.guess.sure = settings_.level <= 10 ? Sureness::Likely : Sureness::Maybe;
        }
        u.au.add(q, nal);
        q += nal.size;
        if (last) {
            u.unsure = true;
            break;
        }
    }
    if (!u.au.hasPicture()) {
        u.guess = {};
        return u;
    }
    u.guess.size = q - pos;
    if (u.unsure) {
        u.guess.sure = std::min(u.guess.sure, Sureness::Likely);
    }
    return u;
}

// A picture's first slice starts at its first macroblock (HEVC: it says it is the first
// segment), unless the profile lets slices come in any order.
bool NalVideo::opensPicture(const SliceHeader& slice, const ParamSets& params) const {
    return slice.firstMb == 0 || orderRules(settings_.codec, slice, params).anySliceOrder;
}

SampleGuess NalVideo::probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) {
    if (!couldStart(media, pos)) {
        return {}; // most places asked about, and nothing worth keeping
    }
    if (media.nested()) {
        return assemble(media, pos).guess;
    }
    last_ = assemble(media, pos);
    return last_->guess;
}

SampleFacts NalVideo::take(MediaView& media, std::uint64_t pos, std::uint64_t size) {
    if (!last_ || last_->pos != pos || last_->guess.size != size) {
        last_ = assemble(media, pos);
    }
    if (last_->params) {
        params_ = *last_->params;
    }
    const AccessUnit& au = last_->au;
    const SliceHeader& first = au.firstSlice();
    pictures_.push_back(
        {poc_.next(first, orderRules(settings_.codec, first, params_)), au.idr(), false});
    count_.add(pictures_.back(), pictureKind(first));
    if (settings_.codec == VideoCodec::H264 && first.nalRefIdc != 0) {
        prevRefFrameNum_ = first.frameNum;
    }
    SampleFacts facts;
    facts.sync = au.sync();
    last_.reset();
    return facts;
}

// Pictures lost before the one at pos, from its order count as its slice header gives it:
// the order count's low bits (type 0, HEVC) or frame_num (type 2, one count per picture).
std::vector<std::uint64_t> NalVideo::lostBefore(MediaView& media, std::uint64_t pos,
                                                std::uint64_t upTo) {
    count_.gap();
    prevRefFrameNum_.reset();
    const Unit u = assemble(media, pos);
    if (!u.au.hasPicture()) {
        return {};
    }
    const SliceHeader& first = u.au.firstSlice();
    const Sps rules = orderRules(settings_.codec, first, params_);
    const bool h264 = settings_.codec == VideoCodec::H264;
    if (h264 && rules.pocType == 2) {
        const std::int64_t count = 2 * std::int64_t{first.frameNum} - (first.nalRefIdc ? 0 : 1);
        return count_.lostBefore(
            {count, std::int64_t{2} << rules.log2MaxFrameNum, first.idr, pictureKind(first)}, upTo);
    }
    if (h264 && rules.pocType != 0) {
        return {};
    }
    return count_.lostBefore(
        {first.pocLsb, std::int64_t{1} << rules.log2MaxPocLsb, first.idr, pictureKind(first)},
        upTo);
}

// H.264 (7.4.3): without gaps allowed, a picture's frame_num is the last reference picture's
// or one more (modulo MaxFrameNum); an IDR picture may come at any time.
bool NalVideo::continuesAt(MediaView& media, std::uint64_t pos) {
    if (!prevRefFrameNum_) {
        return true;
    }
    const Unit u = assemble(media, pos);
    if (!u.au.hasPicture() || u.au.firstSlice().idr) {
        return true;
    }
    const SliceHeader& first = u.au.firstSlice();
    const Sps rules = orderRules(settings_.codec, first, u.params ? *u.params : params_);
    const std::uint32_t next = (*prevRefFrameNum_ + 1) % (1u << rules.log2MaxFrameNum);
    return rules.frameNumGaps || first.frameNum == *prevRefFrameNum_ || first.frameNum == next;
}

std::vector<std::uint32_t> NalVideo::compositionOffsets() const {
    return repair::compositionOffsets(pictures_, hints_);
}

std::string NalVideo::describe() const {
    return name_ + ", NAL length size " + std::to_string(lengthSize_);
}

} // namespace repair
