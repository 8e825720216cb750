#pragma once

#include <cstdint>
#include <vector>

namespace repair {

// Whether a keyframe's entry points agree with parameter sets (VPS, SPS and PPS NAL units
// with their headers): with wavefronts, a keyframe of one slice segment has an entry point
// for each row of coding tree blocks after the first, and its entry points lie within the
// slice. Decoding alone does not tell a picture size from a larger or smaller one: the
// decoder stops at the picture's end or the slice's. True when nothing says otherwise
// (no wavefronts, tiles, slices, fields this does not read).
bool hevcEntryPointsFit(const std::vector<std::uint8_t>& keyPicture, int lengthSize,
                        const std::vector<std::uint8_t>& sps, const std::vector<std::uint8_t>& pps);

} // namespace repair
