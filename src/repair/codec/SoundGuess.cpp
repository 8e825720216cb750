#include "codec/SoundGuess.h"

#include "box/Endian.h"
#include "codec/ParsedFacts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

extern "C" {
#include <libavcodec/ac3_parser.h>
}

namespace repair {

std::optional<SoundGuess> guessAc3(const SoundRuns& runs, const VideoSpan& video);
std::optional<SoundGuess> guessLpcm(const SoundRuns& runs, const VideoSpan& video);
std::optional<SoundGuess> guessAac(const SoundRuns& runs, const VideoSpan& video);

namespace {

struct SoundGuesser {
    const char* name;
    std::optional<SoundGuess> (*guess)(const SoundRuns& runs, const VideoSpan& video);
};

// Formats that describe themselves first; raw PCM, which any run sizes might fit, last.
constexpr SoundGuesser kGuessers[] = {
    {"AC-3", guessAc3},
    {"AAC", guessAac},
    {"LPCM", guessLpcm},
};

// Where two fit alike (29.97 and 30 over a few seconds), the first: whole rates first.
constexpr double kFrameRates[] = {25, 30, 24, 50, 60, 29.97, 23.976, 59.94};
constexpr double kMaxLead = 1; // seconds

} // namespace

std::optional<SoundGuess> guessSound(const SoundRuns& runs, const VideoSpan& video) {
    if (runs.empty()) {
        return std::nullopt;
    }
    for (const auto& g : kGuessers) {
        if (auto found = g.guess(runs, video)) {
            return found;
        }
    }
    return std::nullopt;
}

bool Fit::operator<(const Fit& o) const {
    constexpr double kSame = 1e-3;
    if (std::abs(outside - o.outside) > kSame) {
        return outside < o.outside;
    }
    return offMiddle < o.offMiddle - kSame;
}

Fit fitAt(const VideoSpan& video, const std::vector<double>& soundEnds, double fps) {
    Fit f;
    const std::size_t n = std::min(video.pictures.size(), soundEnds.size());
    if (n == 0) {
        return f;
    }
    // The sound may lead or lag by a constant (a writer's B-frame delay, a priming edit, a
    // first chunk twice as long): it is shifted by the lead that strays least at worst.
    double early = -1e18, late = -1e18;
    for (std::size_t i = 0; i < n; ++i) {
        early = std::max(early, video.pictures[i].first / fps - soundEnds[i]);
        late = std::max(late, soundEnds[i] - video.pictures[i].second / fps);
    }
    f.lead = (early - late) / 2;
    f.outside = std::max(0.0, (early + late) / 2);
    for (std::size_t i = 0; i < n; ++i) {
        const double middle = (video.pictures[i].first + video.pictures[i].second) / 2 / fps;
        f.offMiddle += std::abs(soundEnds[i] + f.lead - middle) / static_cast<double>(n);
    }
    // As shares of the time the runs span: a rate twice as high at twice the frame rate
    // fits as well, not better.
    const double span = soundEnds[n - 1];
    if (span > 0) {
        f.outside /= span;
        f.offMiddle /= span;
    }
    return f;
}

double fittingFrameRate(const VideoSpan& video, const std::vector<double>& soundEnds, Fit* fit) {
    double longestRun = 0, longestChunk = 0;
    for (std::size_t i = 0; i < video.pictures.size() && i < soundEnds.size(); ++i) {
        longestRun = std::max(longestRun, soundEnds[i] - (i > 0 ? soundEnds[i - 1] : 0));
        longestChunk = std::max(longestChunk, video.pictures[i].second - video.pictures[i].first);
    }
    double best = 0;
    Fit bestFit;
    const std::span<const double> rates = video.fps > 0 ? std::span<const double>(&video.fps, 1)
                                                        : std::span<const double>(kFrameRates);
    for (const double fps : rates) {
        const Fit f = fitAt(video, soundEnds, fps);
        const double span = soundEnds.empty() ? 0 : soundEnds.back();
        if (span > 0 && f.outside * span <= longestRun + longestChunk / fps &&
            std::abs(f.lead) <= kMaxLead && (best == 0 || f < bestFit)) {
            best = fps;
            bestFit = f;
        }
    }
    if (fit) {
        *fit = bestFit;
    }
    return best;
}

std::string spokenRate(double rate) {
    char b[32];
    std::snprintf(b, sizeof b, "%g kHz", rate / 1000);
    return b;
}

} // namespace repair
