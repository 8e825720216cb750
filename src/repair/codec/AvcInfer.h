#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace repair {

// Parameter sets inferred for a stream that carries none of its own.
struct InferredParams {
    std::vector<std::uint8_t> config; // the avcC payload
    std::string what;                 // the fields that differ from the reference's
};

// Searches, from the reference's configuration (an avcC payload) on, for the parameter
// sets under which the pictures (length-prefixed, in decode order, from a keyframe on)
// have slice headers that read consistently and decode without an error. Gives up at the
// deadline.
std::optional<InferredParams> inferAvcParams(const std::vector<std::uint8_t>& refConfig,
                                             const std::vector<std::vector<std::uint8_t>>& pictures,
                                             std::chrono::steady_clock::time_point deadline);

} // namespace repair
