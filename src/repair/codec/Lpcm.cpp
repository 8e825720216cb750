// Uncompressed audio (twos, sowt, in24, in32, fl32, fl64, lpcm, raw, ulaw, alaw): PCM frames
// of a fixed size with nothing to recognise them by. Only the reference's chunk layout can
// say where a chunk of them starts and how many frames it holds.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace repair {
namespace {

struct PcmCode {
    std::uint32_t code;
    int bytesPerChannel; // 0: from the sample description's sample size
};

constexpr PcmCode kCodes[] = {
    {fourcc("twos"), 0}, {fourcc("sowt"), 0}, {fourcc("raw "), 1}, {fourcc("NONE"), 0},
    {fourcc("in24"), 3}, {fourcc("in32"), 4}, {fourcc("fl32"), 4}, {fourcc("fl64"), 8},
    {fourcc("ulaw"), 1}, {fourcc("alaw"), 1}, {fourcc("lpcm"), 0},
};

const PcmCode* pcmCode(std::uint32_t codec) {
    for (const auto& c : kCodes) {
        if (c.code == codec) {
            return &c;
        }
    }
    return nullptr;
}

std::uint32_t frameBytes(const RefTrack& t) {
    const SoundInfo& s = *t.sound;
    if (s.version >= 1 && s.bytesPerFrame > 0 && s.framesPerPacket <= 1) {
        return s.bytesPerFrame;
    }
    const int perChannel = pcmCode(t.codec)->bytesPerChannel;
    const int bytes = perChannel != 0 ? perChannel : (s.bitsPerSample + 7) / 8;
    return static_cast<std::uint32_t>(std::max(bytes, 1) * std::max(s.channels, 1));
}

// Bytes of raw sound looked at to tell in which step it reads as a signal, and the fewest
// frames that tell.
constexpr std::size_t kStepLook = 32u << 10;
constexpr std::size_t kStepFrames = 256;

// The byte order of integer samples of 2 to 4 bytes; nothing for others (8-bit, float,
// companded), whose step does not show.
std::optional<bool> bigEndianIntegers(const RefTrack& t, std::uint32_t frame) {
    constexpr std::uint32_t kFloat = 1, kBigEndian = 2; // version 2 format flags
    const int channels = std::max(t.sound->channels, 1);
    const auto bytes = frame / static_cast<std::uint32_t>(channels);
    if (bytes < 2 || bytes > 4 || frame % static_cast<std::uint32_t>(channels) != 0) {
        return std::nullopt;
    }
    if (t.codec == fourcc("sowt")) {
        return false;
    }
    if (t.codec == fourcc("lpcm")) {
        const std::uint32_t flags = t.sound->formatFlags;
        return flags & kFloat ? std::nullopt : std::optional((flags & kBigEndian) != 0);
    }
    const bool integer = t.codec == fourcc("twos") || t.codec == fourcc("NONE") ||
                         t.codec == fourcc("in24") || t.codec == fourcc("in32");
    return integer ? std::optional(true) : std::nullopt;
}

class Lpcm : public Codec {
public:
    Lpcm(std::uint32_t frame, const RefTrack& t)
        : frame_(frame), sound_(*t.sound), bigEndian_(bigEndianIntegers(t, frame)) {}

    // The mean step from each sample to the next on its channel.
    std::optional<double> restlessnessAt(MediaView& media, std::uint64_t pos) override {
        if (!bigEndian_ || pos >= media.limit()) {
            return std::nullopt;
        }
        const auto bytes = media.bytes(
            pos, static_cast<std::size_t>(std::min<std::uint64_t>(kStepLook, media.limit() - pos)));
        const std::size_t width = frame_ / static_cast<std::size_t>(std::max(sound_.channels, 1));
        if (bytes.size() < kStepFrames * frame_) {
            return std::nullopt;
        }
        double sum = 0;
        std::size_t n = 0;
        for (std::size_t at = frame_; at + width <= bytes.size(); at += width, ++n) {
            sum += std::abs(static_cast<double>(sampleAt(&bytes[at], width)) -
                            static_cast<double>(sampleAt(&bytes[at - frame_], width)));
        }
        return sum / static_cast<double>(n);
    }

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        const bool whole = pos + frame_ <= media.limit();
        return {Sureness::Maybe, frame_, !whole};
    }
    std::uint32_t fixedSize() const override { return frame_; }
    bool headerless() const override { return true; }
    std::string describe() const override {
        const SoundInfo& s = sound_;
        return "PCM, " + std::to_string(s.channels) + " channel(s), " +
               std::to_string(static_cast<long>(s.sampleRate)) + " Hz, " + std::to_string(frame_) +
               " bytes per frame";
    }

private:
    std::int32_t sampleAt(const std::uint8_t* p, std::size_t width) const {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < width; ++i) {
            v = (v << 8) | p[*bigEndian_ ? i : width - 1 - i];
        }
        const auto shift = static_cast<int>(32 - 8 * width);
        return static_cast<std::int32_t>(v << shift) >> shift;
    }

    std::uint32_t frame_;
    SoundInfo sound_;
    std::optional<bool> bigEndian_; // integer samples' byte order
};

bool handles(const RefTrack& t) {
    return t.sound.has_value() && pcmCode(t.codec) != nullptr;
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return std::make_unique<Lpcm>(frameBytes(s.track), s.track);
}

} // namespace

extern const CodecFamily kLpcmFamily = {
    "PCM", "sound", "twos sowt in24 in32 fl32 fl64 lpcm raw NONE ulaw alaw", handles, make};

} // namespace repair
