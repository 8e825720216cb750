#pragma once

#include "box/Reference.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace repair {

// Sound recorded without its description: what the runs of bytes between video chunks
// hold, told from the bytes themselves and from the video time they span.
using SoundRuns = std::vector<std::span<const std::uint8_t>>;

// The video beside the runs: its pictures, and its frame rate when known (0: not known).
struct VideoSpan {
    std::uint64_t frames = 0;
    double fps = 0;
};

struct SoundGuess {
    std::uint32_t codec = 0; // sample entry type
    SoundInfo info;
    std::uint32_t timescale = 0;
    std::uint32_t sampleDuration = 1;
    std::uint32_t frameBytes = 0;       // PCM: bytes of every sample; 0 when sizes vary
    std::vector<std::uint32_t> samples; // per run
    std::uint32_t configType = 0;       // child box of the sample entry (dac3, esds); 0: none
    std::vector<std::uint8_t> config;   // its payload
    std::string words;                  // "AC-3 48 kHz 2 ch"
};

// The first guesser that explains every run: nothing when none does (or there are no runs).
std::optional<SoundGuess> guessSound(const SoundRuns& runs, const VideoSpan& video);

// The usual frame rate within `tolerance` (relative) of fps, nearest first; 0 when none is.
double commonFrameRate(double fps, double tolerance);

// "48 kHz", "44.1 kHz"
std::string spokenRate(double rate);

} // namespace repair
