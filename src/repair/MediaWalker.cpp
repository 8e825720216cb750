#include "MediaWalker.h"

#include <algorithm>

namespace repair {
namespace {

constexpr std::size_t kProbeBytes = 64;
// How far past unrecognised bytes to look for the stream again before giving up.
constexpr std::uint64_t kMaxResyncScan = 32u << 20;
constexpr std::uint64_t kProgressStep = 64u << 20;
constexpr std::size_t kMaxAudioView = std::size_t{64} * 1024;

} // namespace

MediaWalker::MediaWalker(const ByteSource& src, std::uint64_t begin, std::uint64_t limit,
                         WalkSetup setup)
    : src_(src), pos_(begin), limit_(limit), setup_(std::move(setup)), params_(setup_.avc.params),
      window_(src, limit), video_(src, limit, params_, setup_.video) {
    if (setup_.aac) {
        audio_ = std::make_unique<AacFrameFinder>(*setup_.aac, setup_.aacLowGain);
        video_.setAudioStart([this](std::uint64_t pos) { return audioCouldStart(pos); });
    }
}

WalkResult MediaWalker::run() {
    std::uint64_t nextReport = pos_ + kProgressStep;
    while (pos_ < limit_ && step()) {
        if (progress_ && pos_ >= nextReport) {
            progress_(pos_, result_);
            nextReport = pos_ + kProgressStep;
        }
    }
    if (pos_ >= limit_) {
        finishUnit();
        result_.stopReason = "end of media data";
    }
    result_.stoppedAt = pos_;
    return result_;
}

// One sample, NAL unit or audio run; false when the walk has to stop.
bool MediaWalker::step() {
    std::size_t got = 0;
    const std::uint8_t* p = window_.at(pos_, kProbeBytes, got);
    const NalProbe nal = video_.probe(pos_, p, got);
    if (nal.verdict == Verdict::Truncated) {
        if (unit_.startsNew(nal)) {
            finishUnit();
        }
        result_.stopReason = "cut inside a video sample";
        return false;
    }
    const bool hintAudio = setup_.predictor.expect() == kAudio;
    if (nal.verdict == Verdict::Strong || (nal.verdict == Verdict::Weak && !hintAudio)) {
        result_.hintedSamples += nal.verdict == Verdict::Weak && unit_.empty();
        takeNal(nal);
        return true;
    }
    if (audio_ && takeAudio() > 0) {
        return true;
    }
    if (nal.verdict == Verdict::Weak) {
        takeNal(nal);
        return true;
    }
    finishUnit();
    const auto next = resync(pos_ + 1);
    if (!next) {
        result_.stopReason = "no recognisable sample after this point (cut or damaged data)";
        return false;
    }
    result_.skippedBytes += *next - pos_;
    ++result_.resyncs;
    pos_ = *next;
    return true;
}

void MediaWalker::takeNal(const NalProbe& nal) {
    if (unit_.startsNew(nal)) {
        finishUnit();
    }
    learnParamSet(nal);
    unit_.add(pos_, nal);
    pos_ += nal.size;
}

void MediaWalker::learnParamSet(const NalProbe& nal) {
    if ((!nal.kind.sps && !nal.kind.pps) || nal.size > 1024) {
        return;
    }
    const auto ls = static_cast<std::uint64_t>(setup_.video.lengthSize);
    const auto bytes = src_.bytes(pos_ + ls, static_cast<std::size_t>(nal.size - ls));
    if (setup_.video.codec == VideoCodec::Hevc) {
        nal.kind.sps ? params_.addHevcSps(bytes.data(), bytes.size())
                     : params_.addHevcPps(bytes.data(), bytes.size());
    } else {
        nal.kind.sps ? params_.addSps(bytes.data(), bytes.size())
                     : params_.addPps(bytes.data(), bytes.size());
    }
}

std::size_t MediaWalker::takeAudio() {
    const std::size_t view = std::clamp<std::size_t>(
        std::max<std::size_t>(audio_->maxFrameBytes() * 2, std::size_t{setup_.audioMaxSample} * 8),
        audio_->maxFrameBytes() + 1, kMaxAudioView);
    std::size_t got = 0;
    const std::uint8_t* p = window_.at(pos_, view, got);
    const std::uint64_t at = pos_;
    AacFrameFinder::View end;
    end.reachesEnd = at + got >= limit_;
    end.endIsReal = !setup_.endIsCut;
    const auto lengths = audio_->frames(p, got, end, [&](std::size_t i) {
        return at + i >= limit_ || video_.probe(at + i, p + i, got - i).verdict != Verdict::No;
    });
    if (!lengths.empty()) {
        finishUnit();
    }
    for (std::uint32_t len : lengths) {
        emit(pos_, len, kAudio, true);
        pos_ += len;
    }
    return lengths.size();
}

bool MediaWalker::audioCouldStart(std::uint64_t pos) {
    std::uint8_t b[2] = {};
    const std::size_t n = src_.read(pos, b, 2);
    if (!audio_->plausibleStart(b, n)) {
        return false;
    }
    if (!audio_->lowGain(b, n)) {
        return true;
    }
    const std::uint64_t left = limit_ - pos;
    scratch_.resize(
        static_cast<std::size_t>(std::min<std::uint64_t>(audio_->maxFrameBytes(), left)));
    scratch_.resize(src_.read(pos, scratch_.data(), scratch_.size()));
    return audio_->decodes(scratch_.data(), scratch_.size());
}

// The order count rules of the first slice: H.264 from its SPS, HEVC always "type 0".
Sps MediaWalker::orderRules(const SliceHeader& first) const {
    Sps rules;
    if (setup_.video.codec == VideoCodec::Hevc) {
        const HevcPps* pps = params_.hevcPps(first.ppsId);
        const HevcSps* sps = pps ? params_.hevcSps(pps->spsId) : nullptr;
        rules.log2MaxPocLsb = sps ? sps->log2MaxPocLsb : 16;
        return rules;
    }
    const Pps* pps = params_.pps(first.ppsId);
    const Sps* sps = pps ? params_.sps(pps->spsId) : nullptr;
    return sps ? *sps : rules;
}

void MediaWalker::finishUnit() {
    if (unit_.hasPicture()) {
        PictureOrder order;
        order.idr = unit_.idr();
        order.poc = poc_.next(unit_.firstSlice(), orderRules(unit_.firstSlice()));
        result_.pictures.push_back(order);
        emit(unit_.start(), unit_.end() - unit_.start(), kVideo, unit_.sync());
    }
    unit_.clear();
}

void MediaWalker::emit(std::uint64_t offset, std::uint64_t size, int track, bool sync) {
    Sample s;
    s.offset = offset;
    s.size = static_cast<std::uint32_t>(size);
    s.track = static_cast<std::int8_t>(track);
    s.sync = sync;
    result_.samples.push_back(s);
    (track == kVideo ? result_.videoCount : result_.audioCount)++;
    setup_.predictor.observe(track);
}

bool MediaWalker::resyncPoint(std::uint64_t q) {
    const int level = std::max(setup_.video.level, 12);
    const NalProbe first = video_.probe(q, level);
    if (first.verdict != Verdict::Strong) {
        return false;
    }
    // One NAL unit could be chance; require the one after it to fit as well.
    const NalProbe second = video_.probe(q + first.size, 11);
    return second.verdict == Verdict::Strong || second.verdict == Verdict::Truncated;
}

std::optional<std::uint64_t> MediaWalker::resync(std::uint64_t from) {
    const std::uint64_t end = std::min(limit_, from + kMaxResyncScan);
    const auto ls = static_cast<std::size_t>(setup_.video.lengthSize);
    for (std::uint64_t q = from; q < end; ++q) {
        std::size_t got = 0;
        const std::uint8_t* p = window_.at(q, ls + 2, got);
        if (got < ls + 2) {
            break;
        }
        // Cheap filter first: a length prefix within bounds and a fitting NAL header.
        std::uint64_t n = 0;
        for (std::size_t i = 0; i < ls; ++i) {
            n = (n << 8) | p[i];
        }
        if (n != 0 && n <= setup_.video.maxNal && got > ls + 1 &&
            plausibleHeader(setup_.video.codec, p + ls) && resyncPoint(q)) {
            return q;
        }
    }
    return std::nullopt;
}

} // namespace repair
