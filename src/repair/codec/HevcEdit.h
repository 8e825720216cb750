#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// What an HEVC SPS says of its pictures: size (the conformance window taken off) and
// chroma format (0 monochrome, 1 4:2:0, 2 4:2:2, 3 4:4:4).
struct HevcShape {
    std::uint32_t width = 0, height = 0, chroma = 1;
    bool operator==(const HevcShape&) const = default;
};

// The general profile, tier and level as SPS and VPS carry them: profile byte,
// compatibility flags, constraint flags, general_level_idc.
using HevcProfile = std::array<std::uint8_t, 12>;

// Of an SPS (NAL unit with its header). Nothing when it does not read.
std::optional<HevcShape> hevcSpsShape(const std::vector<std::uint8_t>& sps);
std::optional<std::uint32_t> hevcSpsBitDepth(const std::vector<std::uint8_t>& sps);
std::optional<HevcProfile> hevcSpsProfile(const std::vector<std::uint8_t>& sps);

// The profile of pictures of this bit depth (8, 10 or 12) in this chroma format (`ref`
// itself when it is of the format), at the level a picture of this size needs at the
// frame rates cameras record at.
HevcProfile hevcProfileFor(const HevcProfile& ref, std::uint32_t refChroma, const HevcShape& s,
                           std::uint32_t bitDepth);

// The SPS with another shape, coded in whole minimum coding blocks with the rest cropped,
// and another profile; every other field as it was. Nothing when it does not read.
std::optional<std::vector<std::uint8_t>> hevcSpsWith(const std::vector<std::uint8_t>& sps,
                                                     const HevcShape& shape,
                                                     const HevcProfile& profile);

// The VPS with another general profile. Nothing when it is too short to hold one.
std::optional<std::vector<std::uint8_t>> hevcVpsWith(const std::vector<std::uint8_t>& vps,
                                                     const HevcProfile& profile);

// The PPS's Cb and Cr QP offsets; the PPS with others. Nothing when it does not read.
std::optional<std::int32_t> hevcPpsChromaQp(const std::vector<std::uint8_t>& pps);
std::optional<std::vector<std::uint8_t>> hevcPpsWith(const std::vector<std::uint8_t>& pps,
                                                     std::int32_t chromaQp);

} // namespace repair
