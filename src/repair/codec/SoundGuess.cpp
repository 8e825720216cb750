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

double commonFrameRate(double fps, double tolerance) {
    double best = 0;
    for (const double r : kFrameRates) {
        if (std::abs(fps - r) <= r * tolerance &&
            (best == 0 || std::abs(fps - r) < std::abs(fps - best))) {
            best = r;
        }
    }
    return best;
}

std::string spokenRate(double rate) {
    char b[32];
    std::snprintf(b, sizeof b, "%g kHz", rate / 1000);
    return b;
}

} // namespace repair
