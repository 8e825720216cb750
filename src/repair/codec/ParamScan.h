#pragma once

#include "codec/NalSyntax.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// Parameter sets a camera repeats in its stream before every keyframe, as they lie in the
// media data: length-prefixed NAL units (header included).
struct FoundParams {
    VideoCodec codec = VideoCodec::H264;
    int lengthSize = 4;
    std::vector<std::vector<std::uint8_t>> vps, sps, pps;
    std::vector<std::uint8_t> slice; // the start of the picture they open
};

// The first parameter sets in data[0, size) that open a chain of length-prefixed NAL units
// with valid headers up to a picture's slice, with the length size (4, 2 or 1) under which
// the chain holds; nothing when the bytes carry none.
std::optional<FoundParams> findParamSets(const std::uint8_t* data, std::size_t size);

// The decoder configuration record for them: an avcC or hvcC payload.
std::vector<std::uint8_t> configRecord(const FoundParams& p, int chromaFormat, int bitDepth);

// The parameter sets and slice with start codes, as a parser of a bare stream reads them.
std::vector<std::uint8_t> annexB(const FoundParams& p);

} // namespace repair
