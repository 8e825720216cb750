#pragma once

#include <cstdint>
#include <vector>

namespace repair {

// What a keyframe's entry points say of parameter sets (VPS, SPS and PPS NAL units with
// their headers): with wavefronts, a keyframe of one slice segment has an entry point for
// each row of coding tree blocks after the first, and its entry points lie within the
// slice. Decoding alone does not tell a picture size from a larger or smaller one: the
// decoder stops at the picture's end or the slice's. Silent without wavefronts, with
// tiles or slices, and where the sets hold fields this does not read.
enum class RowsSay { Agree, Differ, Silent };
RowsSay hevcEntryPoints(const std::vector<std::uint8_t>& keyPicture, int lengthSize,
                        const std::vector<std::uint8_t>& sps, const std::vector<std::uint8_t>& pps);

} // namespace repair
