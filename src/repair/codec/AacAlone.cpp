// The AAC line of the sound guessers: runs of raw AAC frames between video chunks, their
// AudioSpecificConfig found by guessAacConfig (codec/AacGuess.h), written as an esds.
#include "box/Endian.h"
#include "codec/AacGuess.h"
#include "codec/SoundGuess.h"

namespace repair {
namespace {

constexpr std::uint32_t kFrameSamples = 1024;

void descriptor(std::vector<std::uint8_t>& out, std::uint8_t tag,
                const std::vector<std::uint8_t>& body) {
    out.push_back(tag);
    out.push_back(static_cast<std::uint8_t>(body.size())); // every body here is under 128 bytes
    out.insert(out.end(), body.begin(), body.end());
}

// The esds payload (after its version and flags) of an AAC track with this configuration.
std::vector<std::uint8_t> esds(const std::vector<std::uint8_t>& asc) {
    std::vector<std::uint8_t> decoder{0x40, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    descriptor(decoder, 0x05, asc);
    std::vector<std::uint8_t> es{0, 0, 0};
    descriptor(es, 0x04, decoder);
    descriptor(es, 0x06, {0x02});
    std::vector<std::uint8_t> out;
    descriptor(out, 0x03, es);
    return out;
}

} // namespace

std::optional<SoundGuess> guessAac(const SoundRuns& runs, const VideoSpan& video) {
    if (video.fps <= 0 || video.pictures.empty()) {
        return std::nullopt; // the guess weighs configurations by the time the runs span
    }
    const auto& [before, after] = video.pictures.back();
    const double seconds = (before + after) / 2 / video.fps;
    const auto all = guessAacConfig(runs, seconds);
    if (!all || all->config.audioSpecificConfig.size() > 64) {
        return std::nullopt;
    }
    const auto perRun = aacFramesPerRun(runs, all->config);
    if (!perRun) {
        return std::nullopt;
    }
    SoundGuess g;
    for (const std::uint64_t frames : *perRun) {
        g.samples.push_back(static_cast<std::uint32_t>(frames));
    }
    g.codec = fourcc("mp4a");
    g.info.channels = all->config.channels;
    g.info.bitsPerSample = 16;
    g.info.sampleRate = all->config.sampleRate;
    g.timescale = all->config.sampleRate;
    g.sampleDuration = kFrameSamples;
    g.configType = fourcc("esds");
    g.config = {0, 0, 0, 0};
    const auto body = esds(all->config.audioSpecificConfig);
    g.config.insert(g.config.end(), body.begin(), body.end());
    g.words =
        "AAC " + spokenRate(g.info.sampleRate) + " " + std::to_string(g.info.channels) + " ch";
    return g;
}

} // namespace repair
