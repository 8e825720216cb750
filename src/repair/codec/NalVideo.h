#pragma once

#include "codec/AccessUnit.h"
#include "codec/Codec.h"
#include "codec/Composition.h"
#include "codec/H264Params.h"
#include "codec/PicOrder.h"
#include "codec/PictureCount.h"

#include <memory>
#include <optional>
#include <string>

namespace repair {

// Video whose samples are access units of length-prefixed NAL units (H.264 and HEVC in
// MP4/MOV). A sample is recognised by parsing its NAL headers and slice headers against
// the parameter sets of the reference and of the stream itself.
class NalVideo : public Codec {
public:
    NalVideo(VideoProbeSettings settings, const AvcConfig& config, OrderHints hints,
             std::string name);

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& notes) override;
    SampleFacts take(MediaView& media, std::uint64_t pos, std::uint64_t size) override;
    std::size_t nextCandidate(const std::uint8_t* data, std::size_t n) const override;
    std::vector<std::uint32_t> compositionOffsets() const override;
    std::vector<std::uint64_t> lostBefore(MediaView& media, std::uint64_t pos,
                                          std::uint64_t upTo) override;
    bool continuesAt(MediaView& media, std::uint64_t pos) override;
    std::string describe() const override;

private:
    struct Unit {
        std::uint64_t pos = 0;
        SampleGuess guess;
        AccessUnit au;
        std::optional<ParamSets> params; // with the unit's own parameter sets
        bool unsure = false;             // nothing known follows its last NAL unit
    };
    Unit assemble(MediaView& media, std::uint64_t pos) const;
    bool couldStart(MediaView& media, std::uint64_t pos) const;
    bool opensPicture(const SliceHeader& slice, const ParamSets& params) const;
    bool prefixFits(const std::uint8_t* b) const;
    void learnParamSet(MediaView& media, std::uint64_t pos, const NalProbe& nal,
                       ParamSets& into) const;

    VideoProbeSettings settings_;
    ParamSets params_;
    int lengthSize_;
    std::string name_;
    std::optional<Unit> last_; // assembled by the last probe outside a nested one, for take
    PocCounter poc_;
    OrderHints hints_;
    std::vector<PictureOrder> pictures_;
    PictureCount count_;
    // H.264: frame_num of the last reference picture taken, while no damage came after it.
    std::optional<std::uint32_t> prevRefFrameNum_;
};

// Probe settings for a reference track: NAL length size, the largest believable NAL unit.
VideoProbeSettings nalVideoSettings(const CodecSetup& setup, VideoCodec codec,
                                    const AvcConfig& config);

// The avcC (H.264) or hvcC (HEVC) configuration of a reference track; nothing when its
// sample entry has none that reads.
std::optional<AvcConfig> nalConfig(const RefTrack& track, VideoCodec codec);

// The recogniser of a track whose configuration reads (see nalConfig).
std::unique_ptr<Codec> makeNalVideo(const CodecSetup& setup, VideoCodec codec, std::string name);

} // namespace repair
