#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace repair {

class BitReader;

// The fields of an HEVC SPS/PPS that slice segment headers depend on.
struct HevcSps {
    std::uint32_t id = 0;
    bool separateColourPlane = false;
    int log2MaxPocLsb = 4;
    std::uint32_t picSizeInCtbs = 0;
};

struct HevcPps {
    std::uint32_t id = 0;
    std::uint32_t spsId = 0;
    bool dependentSliceSegments = false;
    bool outputFlagPresent = false;
    int extraSliceHeaderBits = 0;
};

// profile_tier_level() with its general profile present, as SPS and VPS carry it.
void skipHevcProfileTierLevel(BitReader& br, int maxSubLayersMinus1);

// nal points at the 2-byte NAL header.
std::optional<HevcSps> parseHevcSps(const std::uint8_t* nal, std::size_t size);
std::optional<HevcPps> parseHevcPps(const std::uint8_t* nal, std::size_t size);

} // namespace repair
