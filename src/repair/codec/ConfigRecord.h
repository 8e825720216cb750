#pragma once

#include "codec/NalSyntax.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

using NalUnits = std::vector<std::vector<std::uint8_t>>;

// Parameter sets as a stream carries them, each NAL unit with its header.
struct StreamParams {
    NalUnits vps, sps, pps;
    bool empty() const { return sps.empty() || pps.empty(); }
};

// The parameter sets among a sample's length-prefixed NAL units.
StreamParams paramsIn(VideoCodec codec, const std::vector<std::uint8_t>& sample, int lengthSize);

// The parameter sets a decoder configuration record (avcC or hvcC payload) holds.
StreamParams paramsOf(VideoCodec codec, const std::vector<std::uint8_t>& config);

// A decoder configuration record for these parameter sets. An hvcC takes the fields it
// does not derive from the SPS (segmentation, frame rate, ...) from `like`, the record it
// replaces. Nothing when the parameter sets are too short to describe a stream.
std::optional<std::vector<std::uint8_t>> configRecord(VideoCodec codec, const StreamParams& p,
                                                      int lengthSize,
                                                      const std::vector<std::uint8_t>& like);

} // namespace repair
