// AC-3 and E-AC-3 sound (ac-3, ec-3). Every syncframe opens with the sync word 0x0B77 and
// says its own size: libavcodec's av_ac3_parse_header reads it, and the frame's CRC
// (libavutil's av_crc, the check the decoder makes) makes a match sure. An E-AC-3 sample
// holds 1536 samples of every substream: the frames of fewer than six blocks and the
// dependent substreams that make it up are gathered here from their header bits.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Ac3Frame.h"
#include "codec/Codec.h"

namespace repair {
namespace {

constexpr int kMaxFramesPerSample = 64;

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
            first.streamType == kEac3Dependent) {
            return {};
        }
        if (!first.whole) {
            return {Sureness::Likely, first.size, true};
        }
        std::uint64_t end = pos + first.size;
        int blocks = first.blocks;
        for (int n = 1; eac3_ && n < kMaxFramesPerSample; ++n) {
            const SyncFrame next = syncFrameAt(media, end, media.limit());
            const bool sameTime = next.streamType == kEac3Dependent || next.substream != 0;
            if (!next.header || (blocks >= kAc3BlocksPerSample && !sameTime)) {
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
