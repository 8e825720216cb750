#pragma once

#include "box/Reference.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace repair {

// Sound recorded without its description: what the runs of bytes between video chunks
// hold, told from the bytes themselves and from the video time they span.
using SoundRuns = std::vector<std::span<const std::uint8_t>>;

// The video beside the runs. Per run, in pictures: the video before it, and before the run
// after it (the video chunk that follows included); the sound up to the end of a run lies in
// that stretch of time, give or take a chunk. The frame rate when known (0: not known).
struct VideoSpan {
    std::vector<std::pair<double, double>> pictures;
    double fps = 0;
};

// How well sound whose time at the end of each run is soundEnds (seconds) keeps with the
// video at a frame rate, give or take a constant lead: first how far it strays outside the
// runs' stretches at worst, then
// how far from their middles on average (shares of the time the runs span, so that rates
// twice as high at twice the frame rate fit alike). Smaller is better; within a thousandth
// is alike.
struct Fit {
    double outside = 0;
    double offMiddle = 0;
    double lead = 0; // seconds the sound is taken to lead the video by
    bool operator<(const Fit& o) const;
};
Fit fitAt(const VideoSpan& video, const std::vector<double>& soundEnds, double fps);

// Of the usual frame rates (only video.fps when known), the one the sound keeps with best,
// where it strays by no more than a run and a video chunk; 0 when none does. fit, if given,
// gets how well.
double fittingFrameRate(const VideoSpan& video, const std::vector<double>& soundEnds,
                        Fit* fit = nullptr);

struct SoundGuess {
    std::uint32_t codec = 0; // sample entry type
    SoundInfo info;
    std::uint32_t timescale = 0;
    std::uint32_t sampleDuration = 1;
    std::uint32_t frameBytes = 0;       // PCM: bytes of every sample; 0 when sizes vary
    std::vector<std::uint32_t> samples; // per run
    std::vector<std::uint64_t> bytes;   // per run, the sound's; empty: the whole run
    std::uint32_t configType = 0;       // child box of the sample entry (dac3, esds); 0: none
    std::vector<std::uint8_t> config;   // its payload
    std::string words;                  // "AC-3 48 kHz 2 ch"
};

// The first guesser that explains every run: nothing when none does (or there are no runs).
std::optional<SoundGuess> guessSound(const SoundRuns& runs, const VideoSpan& video);

// "48 kHz", "44.1 kHz"
std::string spokenRate(double rate);

} // namespace repair
