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
#ifdef KESTREL_AAC_GUESS
std::optional<SoundGuess> guessAac(const SoundRuns& runs, const VideoSpan& video);
#endif

namespace {

struct SoundGuesser {
    const char* name;
    std::optional<SoundGuess> (*guess)(const SoundRuns& runs, const VideoSpan& video);
};

// Formats that describe themselves first; raw PCM, which any run sizes might fit, last.
constexpr SoundGuesser kGuessers[] = {
    {"AC-3", guessAc3},
#ifdef KESTREL_AAC_GUESS
    {"AAC", guessAac},
#endif
    {"LPCM", guessLpcm},
};

constexpr double kFrameRates[] = {23.976, 24, 25, 29.97, 30, 50, 59.94, 60};

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
    constexpr double kSame = 1e-3; // a millisecond
    if (std::abs(outside - o.outside) > kSame) {
        return outside < o.outside;
    }
    return offMiddle < o.offMiddle;
}

Fit fitAt(const VideoSpan& video, const std::vector<double>& soundEnds, double fps) {
    Fit f;
    const std::size_t n = std::min(video.pictures.size(), soundEnds.size());
    for (std::size_t i = 0; i < n; ++i) {
        const double from = video.pictures[i].first / fps, to = video.pictures[i].second / fps;
        const double t = soundEnds[i];
        f.outside = std::max({f.outside, from - t, t - to});
        f.offMiddle += std::abs(t - (from + to) / 2) / static_cast<double>(n);
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
        if (f.outside <= longestRun + longestChunk / fps && (best == 0 || f < bestFit)) {
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
