// The AAC line of the sound guessers: runs of raw AAC frames between video chunks, their
// AudioSpecificConfig found by guessAacConfig (codec/AacGuess.h), written as an esds.
#include "box/Endian.h"
#include "codec/AacGuess.h"
#include "codec/SoundGuess.h"

#include <algorithm>

namespace repair {
namespace {

constexpr std::uint32_t kFrameSamples = 1024;
// The duration against the midpoints of the runs' stretches is off by up to half a chunk of
// the few the start of a recording holds; the fit run by run decides.
constexpr double kWideSlack = 0.4;
// Without a frame rate in the stream, the runs' time is known only within the usual rates
// (23.976 to 60 fps): taken from their middle, with a slack that reaches both ends. The fit
// run by run then chooses the sound's rate and the frame rate together.
constexpr double kMiddleFps = 38;
constexpr double kUnknownRateSlack = 1.0;

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

// Sound ends per run of a configuration's frames, in seconds.
std::vector<double> soundEnds(const std::vector<AacRun>& runs, std::uint32_t rate) {
    std::vector<double> ends;
    std::uint64_t frames = 0;
    for (const AacRun& r : runs) {
        frames += r.frames;
        ends.push_back(static_cast<double>(frames) * kFrameSamples / rate);
    }
    return ends;
}

struct Choice {
    AacGuess guess;
    std::vector<AacRun> runs;
    Fit fit;
};

// Of the configurations near the duration, the one whose sound keeps with the video run by
// run (a constant lead aside) clearly best; the midpoints of the runs' stretches alone blur
// rates that share band tables (44.1 and 48 kHz) by half a chunk.
std::optional<Choice> bestKept(const SoundRuns& runs, const VideoSpan& video, double seconds,
                               double slack, bool tails) {
    std::vector<Choice> kept;
    for (auto& g : aacConfigsNear(runs, seconds, tails, slack)) {
        auto perRun = aacFramesPerRun(runs, g.config, tails);
        if (!perRun) {
            continue;
        }
        Fit fit;
        const auto ends = soundEnds(*perRun, g.config.sampleRate);
        if (fittingFrameRate(video, ends, &fit) > 0) {
            kept.push_back({std::move(g), std::move(*perRun), fit});
        }
    }
    std::sort(kept.begin(), kept.end(),
              [](const Choice& a, const Choice& b) { return a.fit < b.fit; });
    if (kept.empty() || (kept.size() > 1 && !(kept[0].fit < kept[1].fit)) ||
        !aacDecoderAgrees(runs, kept[0].guess.config)) {
        return std::nullopt;
    }
    return std::move(kept[0]);
}

} // namespace

std::optional<SoundGuess> guessAac(const SoundRuns& runs, const VideoSpan& video) {
    if (video.pictures.empty()) {
        return std::nullopt; // the guess weighs configurations by the time the runs span
    }
    const auto& [before, after] = video.pictures.back();
    const bool known = video.fps > 0;
    const double seconds = (before + after) / 2 / (known ? video.fps : kMiddleFps);
    const double slack = known ? kWideSlack : kUnknownRateSlack;
    // Runs of sound alone first; then runs whose sound another track's chunk follows.
    bool tails = false;
    auto choice = bestKept(runs, video, seconds, slack, false);
    if (!choice) {
        tails = true;
        choice = bestKept(runs, video, seconds, slack, true);
    }
    if (!choice || choice->guess.config.audioSpecificConfig.size() > 64) {
        return std::nullopt;
    }
    const auto& all = choice->guess;
    SoundGuess g;
    for (const AacRun& r : choice->runs) {
        g.samples.push_back(static_cast<std::uint32_t>(r.frames));
        if (tails) {
            g.bytes.push_back(r.bytes);
        }
    }
    g.codec = fourcc("mp4a");
    g.info.channels = all.config.channels;
    g.info.bitsPerSample = 16;
    g.info.sampleRate = all.config.sampleRate;
    g.timescale = all.config.sampleRate;
    g.sampleDuration = kFrameSamples;
    g.configType = fourcc("esds");
    g.config = {0, 0, 0, 0};
    const auto body = esds(all.config.audioSpecificConfig);
    g.config.insert(g.config.end(), body.begin(), body.end());
    g.words =
        "AAC " + spokenRate(g.info.sampleRate) + " " + std::to_string(g.info.channels) + " ch";
    return g;
}

} // namespace repair
