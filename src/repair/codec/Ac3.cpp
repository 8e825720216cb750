// AC-3 and E-AC-3 sound (ac-3, ec-3). Every syncframe opens with the sync word 0x0B77 and
// says its own size: libavcodec's av_ac3_parse_header reads it, and the frame's CRC
// (libavutil's av_crc, the check the decoder makes) makes a match sure. An E-AC-3 sample
// holds 1536 samples of every substream: the frames of fewer than six blocks and the
// dependent substreams that make it up are gathered here from their header bits.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"

#include <array>
#include <vector>

extern "C" {
#include <libavcodec/ac3_parser.h>
#include <libavutil/crc.h>
}

namespace repair {
namespace {

constexpr std::size_t kHeader = 16;
constexpr int kBlocksPerSample = 6;
constexpr int kMaxFramesPerSample = 64;
constexpr int kFirstEac3Id = 11;
constexpr int kIndependent = 0;
constexpr int kDependent = 1;

struct SyncFrame {
    bool header = false; // the header parses
    bool whole = false;  // all of it before the limit, and its CRC holds
    std::uint32_t size = 0;
    int streamType = kIndependent;
    int substream = 0;
    int blocks = kBlocksPerSample;
};

SyncFrame syncFrameAt(const ByteSource& src, std::uint64_t pos, std::uint64_t limit) {
    SyncFrame f;
    std::array<std::uint8_t, kHeader> h{};
    if (src.read(pos, h.data(), h.size()) != h.size() || be16(h.data()) != 0x0B77) {
        return f;
    }
    std::uint8_t bsid = 0;
    std::uint16_t size = 0;
    if (av_ac3_parse_header(h.data(), h.size(), &bsid, &size) < 0 || size < kHeader) {
        return f;
    }
    f.header = true;
    f.size = size;
    if (bsid >= kFirstEac3Id) {
        f.streamType = h[2] >> 6;
        f.substream = (h[2] >> 3) & 7;
        const int fscod = h[4] >> 6;
        static constexpr int kBlocks[] = {1, 2, 3, 6};
        f.blocks = fscod == 3 ? kBlocksPerSample : kBlocks[(h[4] >> 4) & 3];
    }
    if (pos + size > limit) {
        return f;
    }
    std::vector<std::uint8_t> frame(size);
    if (src.read(pos, frame.data(), size) != size) {
        return f;
    }
    f.whole = av_crc(av_crc_get_table(AV_CRC_16_ANSI), 0, frame.data() + 2, size - 2u) == 0;
    return f;
}

class Ac3 : public Codec {
public:
    explicit Ac3(bool eac3) : eac3_(eac3) {}

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        return sampleAt(media, pos);
    }

    std::string describe() const override {
        return eac3_ ? "E-AC-3, syncframes of 1536 samples a sample" : "AC-3, a syncframe a sample";
    }

private:
    SampleGuess sampleAt(MediaView& media, std::uint64_t pos) const {
        const SyncFrame first = syncFrameAt(media, pos, media.limit());
        if (!first.header || (!first.whole && pos + first.size <= media.limit()) ||
            first.streamType == kDependent) {
            return {};
        }
        if (!first.whole) {
            return {Sureness::Likely, first.size, true};
        }
        std::uint64_t end = pos + first.size;
        int blocks = first.blocks;
        for (int n = 1; eac3_ && n < kMaxFramesPerSample; ++n) {
            const SyncFrame next = syncFrameAt(media, end, media.limit());
            const bool sameTime = next.streamType == kDependent || next.substream != 0;
            if (!next.header || (blocks >= kBlocksPerSample && !sameTime)) {
                break;
            }
            if (!next.whole) {
                return {Sureness::Likely, end + next.size - pos, true};
            }
            if (!sameTime) {
                blocks += next.blocks;
            }
            end += next.size;
        }
        return {Sureness::Sure, end - pos, false};
    }

    bool eac3_;
};

bool handles(const RefTrack& t) {
    return t.codec == fourcc("ac-3") || t.codec == fourcc("ec-3");
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return std::make_unique<Ac3>(s.track.codec == fourcc("ec-3"));
}

} // namespace

extern const CodecFamily kAc3Family = {"AC-3", "sound", "ac-3, E-AC-3: ec-3", handles, make};

} // namespace repair
