#pragma once

#include "codec/AacConfig.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace repair {

struct AacGuess {
    AacConfig config;
    std::uint64_t frames = 0;
};

// Tries the usual AudioSpecificConfigs on runs of raw AAC frames (the bytes between video
// chunks) and keeps the one under which every run is whole frames that parse, and whose
// duration best fits `seconds` (the video time the runs span). With `tails`, a run may end in
// bytes that are not AAC (another track's chunk after the sound's): its frames up to them count.
std::optional<AacGuess> guessAacConfig(const std::vector<std::span<const std::uint8_t>>& runs,
                                       double seconds, bool tails = false);

// Every configuration under which the runs are whole frames (with `tails`, up to a tail) and
// whose duration lies within `slack` (a share) of `seconds`, nearest first.
std::vector<AacGuess> aacConfigsNear(const std::vector<std::span<const std::uint8_t>>& runs,
                                     double seconds, bool tails, double slack);
// libavcodec decodes the first frames of the first run that opens with one.
bool aacDecoderAgrees(const std::vector<std::span<const std::uint8_t>>& runs,
                      const AacConfig& config);

struct AacRun {
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0; // of the run, up to the end of its last whole frame
};

// Each run's frames under a configuration the guess found (a cut-off frame at the end of the
// last run not counted); nullopt when a run is not whole frames of it (with `tails`: when
// none is).
std::optional<std::vector<AacRun>>
aacFramesPerRun(const std::vector<std::span<const std::uint8_t>>& runs, const AacConfig& config,
                bool tails = false);

} // namespace repair
