#include "codec/NalOrder.h"

#include "box/Reference.h"
#include "codec/H265Nal.h"
#include "codec/PicOrder.h"

#include <algorithm>
#include <optional>

namespace repair {
namespace {

// Reference pictures read for the step: a few groups of pictures.
constexpr std::size_t kLearnPictures = 64;
constexpr int kMaxNalsPerSample = 64;
constexpr std::uint64_t kMaxParamSetBytes = 1024;
// Slice header bytes read: enough for the fields up to the order count.
constexpr std::size_t kSliceBytes = 64;

struct SampleReader {
    const ByteSource& src;
    VideoCodec codec;
    int lengthSize;
    ParamSets params;

    std::uint64_t lengthAt(std::uint64_t at) const {
        std::uint8_t b[4] = {};
        const auto ls = static_cast<std::size_t>(lengthSize);
        if (src.read(at, b, ls) != ls) {
            return 0;
        }
        std::uint64_t n = 0;
        for (std::size_t i = 0; i < ls; ++i) {
            n = (n << 8) | b[i];
        }
        return n;
    }

    // The first slice header of the sample, learning the parameter sets before it.
    std::optional<SliceHeader> firstSlice(const RefSample& s) {
        const auto ls = static_cast<std::uint64_t>(lengthSize);
        const auto hs = static_cast<std::uint64_t>(nalHeaderSize(codec));
        std::uint64_t at = s.offset;
        const std::uint64_t end = s.offset + s.size;
        for (int n = 0; n < kMaxNalsPerSample && at + ls + hs <= end; ++n) {
            const std::uint64_t size = lengthAt(at);
            if (size < hs || size > end - at - ls) {
                return std::nullopt;
            }
            const auto nal = src.bytes(at + ls, static_cast<std::size_t>(std::min<std::uint64_t>(
                                                    size, kMaxParamSetBytes)));
            if (nal.size() < hs) {
                return std::nullopt;
            }
            const NalKind kind = classify(codec, nal.data());
            if (kind.vcl) {
                const std::size_t m = std::min(nal.size(), kSliceBytes);
                return codec == VideoCodec::Hevc ? parseHevcSliceHeader(nal.data(), m, params)
                                                 : parseSliceHeader(nal.data(), m, params);
            }
            learn(kind, nal, size);
            at += ls + size;
        }
        return std::nullopt;
    }

    void learn(const NalKind& kind, const std::vector<std::uint8_t>& nal, std::uint64_t size) {
        if (size > kMaxParamSetBytes || (!kind.sps && !kind.pps)) {
            return;
        }
        const bool hevc = codec == VideoCodec::Hevc;
        if (kind.sps) {
            hevc ? params.addHevcSps(nal.data(), nal.size())
                 : params.addSps(nal.data(), nal.size());
        } else {
            hevc ? params.addHevcPps(nal.data(), nal.size())
                 : params.addPps(nal.data(), nal.size());
        }
    }
};

} // namespace

Sps orderRules(VideoCodec codec, const SliceHeader& first, const ParamSets& params) {
    Sps rules;
    if (codec == VideoCodec::Hevc) {
        const HevcPps* pps = params.hevcPps(first.ppsId);
        const HevcSps* sps = pps ? params.hevcSps(pps->spsId) : nullptr;
        rules.log2MaxPocLsb = sps ? sps->log2MaxPocLsb : 16;
        return rules;
    }
    const Pps* pps = params.pps(first.ppsId);
    const Sps* sps = pps ? params.sps(pps->spsId) : nullptr;
    return sps ? *sps : rules;
}

OrderHints nalOrderHints(const CodecSetup& setup, VideoCodec codec, const AvcConfig& config) {
    OrderHints hints;
    hints.delay = setup.track.shownDelay;
    SampleReader reader{setup.reference, codec, config.lengthSize, config.params};
    PocCounter poc;
    std::vector<PictureOrder> pictures;
    const auto& samples = setup.track.firstSamples;
    for (std::size_t i = 0; i < samples.size() && i < kLearnPictures; ++i) {
        const auto slice = reader.firstSlice(samples[i]);
        if (!slice) {
            break;
        }
        pictures.push_back(
            {poc.next(*slice, orderRules(codec, *slice, reader.params)), slice->idr, false});
    }
    hints.step = orderStep(pictures);
    return hints;
}

} // namespace repair
