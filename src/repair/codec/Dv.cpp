// DV video (dvc, dvcp, dvpp, dv5n, dv5p, dvh*, AVdv). Frames have one fixed size per format:
// libavcodec reads which format a frame is from its DIF header (av_dv_frame_profile); that
// every DIF sequence of the frame starts where that size puts it is checked here, from the
// block ids. Every frame is a sync sample.
#include "box/Box.h"
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"

#include <algorithm>
#include <array>
#include <optional>

extern "C" {
#include <libavcodec/dv_profile.h>
}

namespace repair {
namespace {

constexpr std::size_t kBlock = 80;
constexpr std::size_t kBlocksPerSequence = 150;
constexpr std::uint64_t kSequence = kBlock * kBlocksPerSequence;

bool isDvCode(std::uint32_t c) {
    return c == fourcc("dvc ") || c == fourcc("dvcp") || c == fourcc("dvpp") ||
           c == fourcc("dv5n") || c == fourcc("dv5p") || c == fourcc("AVdv") ||
           c == fourcc("AVd1") || (c >> 8) == (fourcc("dvh ") >> 8);
}

const AVDVProfile* profileAt(const ByteSource& src, std::uint64_t pos) {
    std::array<std::uint8_t, DV_PROFILE_BYTES> head{};
    if (src.read(pos, head.data(), head.size()) != head.size()) {
        return nullptr;
    }
    return av_dv_frame_profile(nullptr, head.data(), static_cast<unsigned>(head.size()));
}

class Dv : public Codec {
public:
    explicit Dv(std::uint32_t frameSize) : frameSize_(frameSize) {}

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        return frameAt(media, pos);
    }

    std::uint32_t fixedSize() const override { return frameSize_; }

    std::string describe() const override {
        return "DV, " + (frameSize_ ? std::to_string(frameSize_) : std::string("varying")) +
               " bytes a frame, every frame a sync sample";
    }

private:
    SampleGuess frameAt(MediaView& media, std::uint64_t pos) const {
        std::uint8_t id[3] = {};
        if (media.read(pos, id, 3) != 3 || !headerBlock(id, 0)) {
            return {};
        }
        const AVDVProfile* p = profileAt(media, pos);
        if (!p || (frameSize_ != 0 && static_cast<std::uint32_t>(p->frame_size) != frameSize_)) {
            // Within a frame of the cut the header may still be there and the rest not.
            return media.endIsCut() && pos + std::max<std::uint64_t>(frameSize_, 1) > media.limit()
                       ? SampleGuess{Sureness::Likely, media.limit() - pos + 1, true}
                       : SampleGuess{};
        }
        const auto size = static_cast<std::uint64_t>(p->frame_size);
        const int sequences = p->difseg_size * p->n_difchan;
        for (int k = 1; k < sequences; ++k) {
            const std::uint64_t at = pos + static_cast<std::uint64_t>(k) * kSequence;
            if (media.read(at, id, 3) != 3) {
                break; // beyond the cut
            }
            if (!headerBlock(id, k % p->difseg_size)) {
                return {};
            }
        }
        return {Sureness::Sure, size, pos + size > media.limit()};
    }

    // The id of a DIF sequence's header block: section type 0, the sequence number, block 0.
    static bool headerBlock(const std::uint8_t* id, int sequence) {
        return (id[0] >> 5) == 0 && (id[1] >> 4) == sequence && id[2] == 0;
    }

    std::uint32_t frameSize_; // 0: each frame's own header says
};

// The frame size: the sample table's, else that of the reference's first frame.
std::uint32_t frameSize(const CodecSetup& s) {
    if (s.track.fixedSampleSize != 0) {
        return s.track.fixedSampleSize;
    }
    const AVDVProfile* p = s.track.firstSamples.empty()
                               ? nullptr
                               : profileAt(s.reference, s.track.firstSamples[0].offset);
    return p && static_cast<std::uint32_t>(p->frame_size) == s.track.maxSampleSize
               ? s.track.maxSampleSize
               : 0;
}

bool handles(const RefTrack& t) {
    return isVideoHandler(t.handler) && isDvCode(t.codec);
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return std::make_unique<Dv>(frameSize(s));
}

} // namespace

extern const CodecFamily kDvFamily = {"DV", "video", "dvc dvcp dvpp dv5n dv5p dvh* AVdv AVd1",
                                      handles, make};

} // namespace repair
