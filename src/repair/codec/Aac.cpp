// AAC audio (mp4a with an AAC AudioSpecificConfig): raw frames with no length of their own.
// A frame ends where libavcodec's decoder says (found by walking its syntax where that can
// be done); runs of frames are found in one go and handed to the walk, so walking a chunk
// looks at each frame once.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/AacConfig.h"
#include "codec/AacFrameFinder.h"
#include "codec/Codec.h"
#include "codec/ConfigFault.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

namespace repair {
namespace {

constexpr std::size_t kMaxView = std::size_t{64} * 1024;

class Aac : public Codec {
public:
    Aac(const CodecSetup& s, const AacConfig& config)
        : finder_(config, s.aacLowGain), config_(config), maxSample_(s.track.maxSampleSize) {}

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& notes) override {
        if (media.nested()) {
            return quickLook(media, pos);
        }
        // The walk keeps the run's other frames: walking the chunk asks about each once.
        const auto lengths = decodeRun(media, pos);
        std::uint64_t at = pos;
        for (std::size_t i = 1; i < lengths.size(); ++i) {
            at += lengths[i - 1];
            notes.found(at, {Sureness::Likely, lengths[i], false});
        }
        return lengths.empty() ? cutFrame(media, pos)
                               : SampleGuess{Sureness::Likely, lengths[0], false};
    }

    Sureness mostSure() const override { return Sureness::Likely; }

    std::string describe() const override {
        return "AAC object type " + std::to_string(config_.objectType) + ", " +
               std::to_string(config_.sampleRate) + " Hz, " + std::to_string(config_.channels) +
               " channel(s)";
    }

private:
    // While another codec asks, one frame that decodes is answer enough; its length is
    // not needed and a run could not ask in turn where it ends.
    SampleGuess quickLook(MediaView& media, std::uint64_t pos) {
        const auto bytes = read(media, pos, finder_.maxFrameBytes(), lookBuffer_);
        if (!finder_.plausibleStart(bytes.data(), bytes.size())) {
            return {};
        }
        if (finder_.decodes(bytes.data(), bytes.size())) {
            return {Sureness::Likely, 0, false};
        }
        return cutFrame(media, pos);
    }

    // Within a frame's length of a cut, a frame that starts well but does not decode was
    // most likely cut off.
    SampleGuess cutFrame(MediaView& media, std::uint64_t pos) const {
        const std::uint64_t left = media.limit() - pos;
        std::uint8_t head[2] = {};
        const std::size_t n = media.read(pos, head, 2);
        if (!media.endIsCut() || left >= finder_.maxFrameBytes() ||
            !finder_.plausibleStart(head, n) || finder_.lowGain(head, n)) {
            return {};
        }
        return {Sureness::Likely, left + 1, true};
    }

    std::vector<std::uint32_t> decodeRun(MediaView& media, std::uint64_t pos) {
        if (!finder_.ok()) {
            return {};
        }
        const std::size_t view = std::clamp<std::size_t>(
            std::max<std::size_t>(finder_.maxFrameBytes() * 2, std::size_t{maxSample_} * 8),
            finder_.maxFrameBytes() + 1, kMaxView);
        const auto bytes = read(media, pos, view, runBuffer_);
        AacFrameFinder::View end;
        end.reachesEnd = pos + bytes.size() >= media.limit();
        end.endIsReal = !media.endIsCut();
        return finder_.frames(
            bytes.data(), bytes.size(), end,
            [&](std::size_t i) { return pos + i >= media.limit() || media.otherStartsAt(pos + i); },
            [&](std::size_t i) { return media.otherSurelyStartsAt(pos + i); });
    }

    // The bytes from pos on, into a buffer kept for the next time: most probes come to
    // nothing, and a fresh buffer each time would cost more than looking at it.
    static std::span<const std::uint8_t> read(MediaView& media, std::uint64_t pos,
                                              std::size_t count, std::vector<std::uint8_t>& buf) {
        if (buf.size() < count) {
            buf.resize(count);
        }
        return {buf.data(), media.read(pos, buf.data(), count)};
    }

    AacFrameFinder finder_;
    AacConfig config_;
    std::uint32_t maxSample_;
    // A run's bytes stay in use while other tracks are asked about, which may take a quick
    // look here: each has its own buffer.
    std::vector<std::uint8_t> runBuffer_;
    std::vector<std::uint8_t> lookBuffer_;
};

// A damaged esds leaves the track out of the result, but its frames must still be stepped
// over to find the other tracks' chunks after them: AAC-LC, what cameras write, at the
// sample entry's rate and channel count stands in for the configuration.
std::optional<AacConfig> standIn(const RefTrack& t) {
    constexpr int kAacLc = 2;
    const double rate = t.sound ? t.sound->sampleRate : 0;
    const int channels = t.sound ? t.sound->channels : 0;
    const auto index = aacRateIndex(rate > 0 ? static_cast<std::uint32_t>(rate) : t.timescale);
    if (configFault(t).empty() || !index || channels < 1 || channels > 7) {
        return std::nullopt;
    }
    AacConfig cfg;
    const auto asc = static_cast<std::uint16_t>(kAacLc << 11 | *index << 7 | channels << 3);
    cfg.audioSpecificConfig = {static_cast<std::uint8_t>(asc >> 8),
                               static_cast<std::uint8_t>(asc & 0xFF)};
    return describeAudioSpecificConfig(cfg) ? std::optional<AacConfig>(cfg) : std::nullopt;
}

// The AudioSpecificConfig that the track's esds carries, or one standing in for a damaged
// one; nothing for other sound in mp4a.
std::optional<AacConfig> configOf(const RefTrack& t) {
    auto cfg = parseEsds(t.decoderConfig.data(), t.decoderConfig.size());
    return cfg ? cfg : standIn(t);
}

bool handles(const RefTrack& t) {
    return t.codec == fourcc("mp4a") && configOf(t).has_value();
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return std::make_unique<Aac>(s, configOf(s.track).value());
}

} // namespace

extern const CodecFamily kAacFamily = {"AAC", "sound", "mp4a", handles, make};

} // namespace repair
