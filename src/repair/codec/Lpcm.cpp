// Uncompressed audio (twos, sowt, in24, in32, fl32, fl64, lpcm, raw, ulaw, alaw): PCM frames
// of a fixed size with nothing to recognise them by. Only the reference's chunk layout can
// say where a chunk of them starts and how many frames it holds.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"

#include <algorithm>

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

class Lpcm : public Codec {
public:
    Lpcm(std::uint32_t frame, const RefTrack& t) : frame_(frame), sound_(*t.sound) {}

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
    std::uint32_t frame_;
    SoundInfo sound_;
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
