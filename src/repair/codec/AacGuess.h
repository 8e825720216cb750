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
// duration best fits `seconds` (the video time the runs span).
std::optional<AacGuess> guessAacConfig(const std::vector<std::span<const std::uint8_t>>& runs,
                                       double seconds);

// Each run's frames under a configuration the guess found (a cut-off frame at the end of the
// last run not counted); nullopt when a run is not whole frames of it.
std::optional<std::vector<std::uint64_t>>
aacFramesPerRun(const std::vector<std::span<const std::uint8_t>>& runs, const AacConfig& config);

} // namespace repair
