// The AAC configuration of a recording that lost its index, from its raw frames alone.
// Frame syntax tells the channel layout and which scalefactor band tables the encoder used;
// rates that share those tables (44.1 and 48 kHz, 22.05 and 24 kHz, ...) code the same bits,
// so the run's duration against the video's picks among them.
//
// HE-AAC with implicit SBR is its AAC-LC core at half the output rate: the SBR data rides in
// fill elements that the walk steps over, and the guess is that core configuration, which a
// decoder upsamples on finding the SBR data (implicit signalling, as most encoders write it).
#include "codec/AacGuess.h"

#include "codec/AacBands.h"
#include "codec/AacSyntax.h"
#include "codec/AvDecoder.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace repair {
namespace {

constexpr std::uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000,
                                    24000, 22050, 16000, 12000, 11025, 8000};
constexpr int kRateCount = sizeof kRates / sizeof kRates[0];
// Mono, stereo and 5.1: each configuration number is also its channel count.
constexpr int kChannelConfigs[] = {1, 2, 6};
constexpr std::size_t kMaxExamined = std::size_t{2} << 20;
// A frame holds at most 6144 bits per channel; a cut-off tail is shorter than twice that.
constexpr std::size_t kMaxBytesPerChannel = 1536;
// The video time the runs span is known to about a chunk; random bytes that happen to parse
// rarely also come out near it. Of the rates that fit, the nearest wins when it is clearly
// nearer than the next (48 and 44.1 kHz are 9 % apart).
constexpr double kDurationSlack = 0.1;
constexpr double kClearlyNearer = 0.5;
constexpr int kConfirmFrames = 8;

bool sameBands(int a, int b) {
    return aacBands(a, false).offsets == aacBands(b, false).offsets &&
           aacBands(a, true).offsets == aacBands(b, true).offsets;
}

std::vector<std::uint8_t> lcConfig(int rateIndex, int channelConfig) {
    const auto asc = static_cast<std::uint16_t>(kAacLc << 11 | rateIndex << 7 | channelConfig << 3);
    return {static_cast<std::uint8_t>(asc >> 8), static_cast<std::uint8_t>(asc & 0xFF)};
}

// What one layout made of the runs.
struct Walked {
    bool whole = true;
    std::uint64_t frames = 0;
    std::uint64_t examined = 0; // bytes
    std::uint64_t seen = 0;     // bytes the frames stand for, a run's tail included
    std::uint64_t runBytes = 0; // of the last run, up to its last whole frame
};

// Counts a run's frames until `budget` bytes are behind: each must parse and carry the
// layout's channels, and the last must end at the run's end, unless the run may have been
// cut by the end of the media within its last frame. Bytes past the budget and the frame
// that crosses it are not looked at (a frame followed by zeros takes them all).
void countRun(AacWalker& walker, std::span<const std::uint8_t> run, int channels, bool mayBeCut,
              std::size_t budget, bool tail, Walked& w) {
    const std::size_t maxFrame = kMaxBytesPerChannel * static_cast<std::size_t>(channels);
    const std::size_t view = std::min(run.size(), budget + maxFrame);
    std::size_t at = 0;
    bool tailed = false;
    while (at < view && at < budget) {
        const AacStep step = walker.next(run.data(), view, at);
        if (step.result != AacBlock::Result::Ok || step.channels != channels) {
            const bool cut = mayBeCut && view == run.size() &&
                             step.result == AacBlock::Result::Bad && view - at < maxFrame;
            tailed = tail && !cut;
            w.whole = w.whole && (cut || tail);
            w.runBytes = at;
            at = cut ? view : at;
            break;
        }
        ++w.frames;
        at = step.start + step.length;
        w.runBytes = at;
    }
    w.examined += at;
    w.seen += tailed ? run.size() : at;
}

Walked walkRuns(const AacLayout& layout, const std::vector<std::span<const std::uint8_t>>& runs,
                bool tails) {
    AacWalker walker(layout);
    Walked w;
    for (std::size_t i = 0; i < runs.size() && w.whole && w.examined < kMaxExamined; ++i) {
        countRun(walker, runs[i], layout.channelConfig, i + 1 == runs.size(),
                 kMaxExamined - w.examined, tails, w);
    }
    return w;
}

// libavcodec decodes the first frames of the first run under the guess, one by one.
bool decoderAgrees(const std::vector<std::uint8_t>& asc, const AacLayout& layout,
                   std::span<const std::uint8_t> run) {
    AvDecoder decoder(AV_CODEC_ID_AAC, asc);
    AacWalker walker(layout);
    std::size_t at = 0;
    for (int i = 0; i < kConfirmFrames && at < run.size(); ++i) {
        const AacStep step = walker.next(run.data(), run.size(), at);
        if (step.result != AacBlock::Result::Ok) {
            break; // a cut-off end
        }
        const std::size_t end = step.start + step.length;
        if (!decoder.decode(run.data() + step.start, step.length, false) || !decoder.clean() ||
            decoder.samples() <= 0) {
            return false;
        }
        at = end;
    }
    return decoder.ok() && at > 0;
}

struct Candidate {
    int rateIndex = 0;
    int channelConfig = 0;
    std::uint64_t frames = 0;
    double off = 0; // of the duration from the video's, as a share
};

// Every rate of the layout's band tables whose duration fits `seconds`; frames counted in
// the examined bytes stand for all the runs' bytes in proportion.
void addFits(const AacLayout& layout, const Walked& w, std::uint64_t total, double seconds,
             double slack, std::vector<Candidate>& out) {
    if (!w.whole || w.frames == 0 || w.seen == 0) {
        return;
    }
    const double frames =
        static_cast<double>(w.frames) * static_cast<double>(total) / static_cast<double>(w.seen);
    for (int r = layout.samplingIndex; r < kRateCount; ++r) {
        const double off = std::abs(frames * 1024.0 / kRates[r] - seconds) / seconds;
        if (sameBands(r, layout.samplingIndex) && off <= slack) {
            out.push_back(
                {r, layout.channelConfig, static_cast<std::uint64_t>(std::llround(frames)), off});
        }
    }
}

} // namespace

std::vector<AacGuess> aacConfigsNear(const std::vector<std::span<const std::uint8_t>>& runs,
                                     double seconds, bool tails, double slack) {
    std::uint64_t total = 0;
    for (const auto& r : runs) {
        total += r.size();
    }
    if (total == 0 || !std::isfinite(seconds) || seconds <= 0) {
        return {};
    }
    std::vector<Candidate> fits;
    for (const int config : kChannelConfigs) {
        for (int r = 0; r < kRateCount; ++r) {
            if (r == 0 || !sameBands(r, r - 1)) { // one walk per set of band tables
                const AacLayout layout{kAacLc, r, config};
                addFits(layout, walkRuns(layout, runs, tails), total, seconds, slack, fits);
            }
        }
    }
    std::sort(fits.begin(), fits.end(),
              [](const Candidate& a, const Candidate& b) { return a.off < b.off; });
    std::vector<AacGuess> out;
    for (const Candidate& c : fits) {
        AacGuess guess;
        guess.config.audioSpecificConfig = lcConfig(c.rateIndex, c.channelConfig);
        guess.frames = c.frames;
        if (describeAudioSpecificConfig(guess.config)) {
            out.push_back(std::move(guess));
        }
    }
    return out;
}

bool aacDecoderAgrees(const std::vector<std::span<const std::uint8_t>>& runs,
                      const AacConfig& config) {
    const auto rate = std::find(std::begin(kRates), std::end(kRates), config.sampleRate);
    if (rate == std::end(kRates)) {
        return false;
    }
    // The first run that opens with a frame (with tails, a run may hold none).
    const AacLayout layout{kAacLc, static_cast<int>(rate - std::begin(kRates)), config.channels};
    const auto first = std::find_if(runs.begin(), runs.end(), [&](auto r) {
        AacWalker walker(layout);
        return !r.empty() && walker.next(r.data(), r.size(), 0).result == AacBlock::Result::Ok;
    });
    return first != runs.end() && decoderAgrees(config.audioSpecificConfig, layout, *first);
}

std::optional<AacGuess> guessAacConfig(const std::vector<std::span<const std::uint8_t>>& runs,
                                       double seconds, bool tails) {
    const auto fits = aacConfigsNear(runs, seconds, tails, kDurationSlack);
    if (fits.empty()) {
        return std::nullopt;
    }
    // None, or more than the duration can choose between.
    const auto off = [&](const AacGuess& g) {
        return std::abs(static_cast<double>(g.frames) * 1024.0 / g.config.sampleRate - seconds);
    };
    if (fits.size() > 1 && off(fits[0]) > kClearlyNearer * off(fits[1])) {
        return std::nullopt;
    }
    return aacDecoderAgrees(runs, fits[0].config) ? std::optional(fits[0]) : std::nullopt;
}

std::optional<std::vector<AacRun>>
aacFramesPerRun(const std::vector<std::span<const std::uint8_t>>& runs, const AacConfig& config,
                bool tails) {
    const auto rate = std::find(std::begin(kRates), std::end(kRates), config.sampleRate);
    if (rate == std::end(kRates) || config.channels < 1 || config.channels > 7) {
        return std::nullopt;
    }
    const AacLayout layout{kAacLc, static_cast<int>(rate - std::begin(kRates)), config.channels};
    AacWalker walker(layout);
    std::vector<AacRun> out;
    std::uint64_t frames = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        Walked w;
        countRun(walker, runs[i], layout.channelConfig, i + 1 == runs.size(), runs[i].size(), tails,
                 w);
        if (!w.whole) {
            return std::nullopt;
        }
        out.push_back({w.frames, w.frames ? w.runBytes : 0});
        frames += w.frames;
    }
    return frames > 0 ? std::optional(out) : std::nullopt;
}

} // namespace repair
