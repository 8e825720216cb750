// Apple Lossless sound (alac). Frames carry no length and no sync word: a frame ends where
// libavcodec's decoder stops needing bytes, so the shortest length that decodes to a whole
// frame's samples is the frame. The start of a frame is checked first from its element
// header, which is cheap.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/AvDecoder.h"
#include "codec/Codec.h"
#include "codec/EntryFields.h"

#include <algorithm>
#include <optional>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace repair {
namespace {

// The 'alac' box: header, version and flags, then the decoder's configuration.
constexpr std::size_t kConfigBytes = 36;
constexpr std::uint32_t kMaxSamplesPerFrame = 1u << 16;
constexpr int kMaxChannels = 8;
// Far beyond any frame: 4096 samples of eight 32-bit channels are 128 KiB.
constexpr std::uint32_t kMaxFrameBytes = 1u << 20;
// Bytes of a frame beyond its samples: element and frame headers.
constexpr std::uint32_t kFrameOverhead = 64;

struct AlacConfig {
    std::vector<std::uint8_t> box;
    std::uint32_t frameLength = 0;
    int bitDepth = 0;
    int channels = 0;
    std::uint32_t maxFrameBytes = 0;
};

std::optional<AlacConfig> readConfig(const RefTrack& t) {
    AlacConfig c;
    c.box = entryBoxWhole(t, fourcc("alac"));
    if (c.box.size() < kConfigBytes) {
        return std::nullopt;
    }
    const std::uint8_t* p = c.box.data() + 12;
    c.frameLength = be32(p);
    c.bitDepth = p[5];
    c.channels = p[9];
    if (c.frameLength == 0 || c.frameLength > kMaxSamplesPerFrame || c.channels == 0 ||
        c.channels > kMaxChannels || c.bitDepth == 0 || c.bitDepth > 32) {
        return std::nullopt;
    }
    // Never more than the samples themselves, uncompressed, plus headers.
    const std::uint32_t raw =
        c.frameLength * static_cast<std::uint32_t>(c.channels * ((c.bitDepth + 7) / 8)) +
        kFrameOverhead * static_cast<std::uint32_t>(c.channels);
    const std::uint32_t said = be32(p + 12);
    c.maxFrameBytes = said != 0 && said < raw ? std::max(said, kFrameOverhead) : raw;
    return c;
}

class Alac : public Codec {
public:
    Alac(AlacConfig config, std::uint32_t largest)
        : config_(std::move(config)), decoder_(AV_CODEC_ID_ALAC, config_.box),
          maxFrame_(std::min(std::max(config_.maxFrameBytes, largest), kMaxFrameBytes)) {}

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        return frameAt(media, pos);
    }

    Sureness mostSure() const override { return Sureness::Likely; }
    std::string describe() const override {
        return "Apple Lossless, " + std::to_string(config_.channels) + " channel(s), " +
               std::to_string(config_.bitDepth) + " bits, " + std::to_string(config_.frameLength) +
               " samples a frame";
    }

private:
    // The element that opens a frame: its type fits the channel count, its instance and
    // the unused bits that follow are zero.
    bool plausibleStart(const std::uint8_t* b, std::size_t n) const {
        if (n < 3 || (b[0] & 0x1F) != 0 || b[1] != 0 || (b[2] & 0xE0) != 0) {
            return false;
        }
        const int element = b[0] >> 5;
        return config_.channels == 1 ? element == 0 : element == 0 || element == 1 || element == 3;
    }

    bool decodes(const std::uint8_t* data, std::size_t size) {
        return decoder_.decode(data, size, true) && decoder_.samples() > 0 &&
               static_cast<std::uint32_t>(decoder_.samples()) <= config_.frameLength;
    }

    SampleGuess frameAt(MediaView& media, std::uint64_t pos) {
        const auto bytes = media.bytes(pos, maxFrame_);
        if (!plausibleStart(bytes.data(), bytes.size())) {
            return {};
        }
        if (!decodes(bytes.data(), bytes.size())) {
            // A frame that starts well but cannot be decoded from what is left was cut off.
            const bool nearCut = media.endIsCut() && pos + maxFrame_ > media.limit();
            return nearCut ? SampleGuess{Sureness::Likely, media.limit() - pos + 1, true}
                           : SampleGuess{};
        }
        if (media.nested()) {
            return {Sureness::Likely, 0, false};
        }
        std::size_t lo = 1;
        std::size_t hi = bytes.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (decodes(bytes.data(), mid)) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        return {Sureness::Likely, lo, false};
    }

    AlacConfig config_;
    AvDecoder decoder_;
    std::uint32_t maxFrame_;
};

bool handles(const RefTrack& t) {
    return t.codec == fourcc("alac") && readConfig(t).has_value();
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return std::make_unique<Alac>(*readConfig(s.track), s.track.maxSampleSize);
}

} // namespace

extern const CodecFamily kAlacFamily = {"ALAC", "sound", "alac", handles, make};

} // namespace repair
