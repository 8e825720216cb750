#pragma once

#include "codec/H264Nal.h"

namespace repair {

// Parses the start of an HEVC slice segment (2-byte NAL header included) into the fields
// the walker shares with H.264: firstMb is 0 for the first segment of a picture; idr marks
// a picture order reset (IDR, BLA); nalRefIdc is set for pictures that anchor the order
// count (temporal layer 0, not RADL/RASL/sub-layer non-reference).
std::optional<SliceHeader> parseHevcSliceHeader(const std::uint8_t* nal, std::size_t size,
                                                const ParamSets& params);

} // namespace repair
