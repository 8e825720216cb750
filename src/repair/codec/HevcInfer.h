#pragma once

#include "codec/AvcInfer.h"

namespace repair {

// Searches, from the reference's configuration (an hvcC payload) on, for the parameter
// sets under which the pictures (length-prefixed, in decode order, from a keyframe on)
// decode without an error: the reference's, else with another chroma format or, where
// the keyframe's wavefront entry points confirm it or it is the only one that decodes,
// another picture size. x265: the reference is an x265 stream's even where its record
// does not say so (another chroma format then takes x265's chroma QP offsets). Gives up at
// the deadline.
std::optional<InferredParams>
inferHevcParams(const std::vector<std::uint8_t>& refConfig,
                const std::vector<std::vector<std::uint8_t>>& pictures,
                std::chrono::steady_clock::time_point deadline, bool x265 = false);

} // namespace repair
