// Apple ProRes (apch, apcn, apcs, apco, ap4h, ap4x). Every frame opens with its own size
// and the marker 'icpf', then a frame header and one picture (two for interlaced frames),
// each picture with its own size. This version of libavcodec has no ProRes parser, so the
// walk over these headers is our own; every frame is a sync sample.
#include "box/Box.h"
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"
#include "codec/EntryFields.h"

#include <array>

namespace repair {
namespace {

constexpr std::uint32_t kCodes[] = {fourcc("apch"), fourcc("apcn"), fourcc("apcs"),
                                    fourcc("apco"), fourcc("ap4h"), fourcc("ap4x")};
// Frame size and marker, then the frame header fields up to the interlace mode.
constexpr std::size_t kHead = 8 + 13;
constexpr std::uint32_t kMinFrameHeader = 20;
constexpr std::size_t kPictureHead = 8;
constexpr int kMinPictureHeader = 8;

struct Frame {
    bool valid = false;
    std::uint64_t size = 0;
};

class ProRes : public Codec {
public:
    ProRes(std::uint32_t code, std::optional<PictureSize> picture)
        : code_(code), picture_(picture) {}

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        const Frame f = frameAt(media, pos);
        if (!f.valid) {
            return {};
        }
        // Sizes that agree at three levels and the picture size of the reference.
        return {Sureness::Sure, f.size, pos + f.size > media.limit()};
    }

    std::string describe() const override {
        std::string s = "ProRes '" + typeName(code_) + "'";
        if (picture_) {
            s += ", " + std::to_string(picture_->width) + "x" + std::to_string(picture_->height);
        }
        return s + ", every frame a sync sample";
    }

private:
    Frame frameAt(MediaView& media, std::uint64_t pos) const {
        std::array<std::uint8_t, kHead> h{};
        if (media.read(pos, h.data(), h.size()) != h.size() || be32(&h[4]) != fourcc("icpf")) {
            return {};
        }
        const std::uint32_t size = be32(&h[0]);
        const std::uint32_t header = be16(&h[8]);
        const int version = h[11];
        if (header < kMinFrameHeader || version > 1 || size < 8 + header + kPictureHead) {
            return {};
        }
        if (picture_ && (be16(&h[16]) != picture_->width || be16(&h[18]) != picture_->height)) {
            return {};
        }
        const bool interlaced = ((h[20] >> 2) & 3) != 0;
        std::uint64_t at = pos + 8 + header;
        const std::uint64_t end = pos + size;
        for (int field = 0; field < (interlaced ? 2 : 1); ++field) {
            std::array<std::uint8_t, kPictureHead> p{};
            if (at + p.size() > end) {
                return {};
            }
            if (media.read(at, p.data(), p.size()) != p.size()) {
                return {true, size}; // the rest lies beyond the cut
            }
            const int pictureHeader = p[0] >> 3;
            const std::uint32_t bytes = be32(&p[1]);
            const std::uint32_t slices = be16(&p[5]);
            if (pictureHeader < kMinPictureHeader || slices == 0 ||
                bytes < static_cast<std::uint32_t>(pictureHeader) + 2 * slices ||
                bytes > end - at) {
                return {};
            }
            at += bytes;
        }
        return {true, size};
    }

    std::uint32_t code_;
    std::optional<PictureSize> picture_;
};

bool handles(const RefTrack& t) {
    for (std::uint32_t c : kCodes) {
        if (t.codec == c) {
            return isVideoHandler(t.handler);
        }
    }
    return false;
}

// The coded picture size, from the reference's first frame, else its sample description.
std::optional<PictureSize> codedSize(const CodecSetup& s) {
    if (!s.track.firstSamples.empty()) {
        std::array<std::uint8_t, kHead> h{};
        if (s.reference.read(s.track.firstSamples[0].offset, h.data(), h.size()) == h.size() &&
            be32(&h[4]) == fourcc("icpf")) {
            return PictureSize{be16(&h[16]), be16(&h[18])};
        }
    }
    return pictureSize(s.track);
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return std::make_unique<ProRes>(s.track.codec, codedSize(s));
}

} // namespace

extern const CodecFamily kProResFamily = {"ProRes", "video", "apch apcn apcs apco ap4h ap4x",
                                          handles, make};

} // namespace repair
