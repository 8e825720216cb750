#pragma once

#include "codec/AvcInfer.h"

namespace repair {

// Searches, from the reference's configuration (an hvcC payload) on, for the parameter
// sets under which the pictures (length-prefixed, in decode order, from a keyframe on)
// decode without an error: the reference's, else with another picture size or chroma
// format. Gives up at the
// deadline.
std::optional<InferredParams>
inferHevcParams(const std::vector<std::uint8_t>& refConfig,
                const std::vector<std::vector<std::uint8_t>>& pictures,
                std::chrono::steady_clock::time_point deadline);

} // namespace repair
