#pragma once

#include <array>
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

// The head of an SPS payload (after its NAL header), up to the coding block sizes: what
// every reader of an SPS needs, and where the picture's shape is coded (7.3.2.2.1).
struct HevcSpsHead {
    std::uint32_t id = 0;
    std::uint32_t chroma = 1; // chroma_format_idc
    bool separateColourPlane = false;
    std::uint32_t width = 0, height = 0;   // coded, in luma samples
    std::array<std::uint32_t, 4> window{}; // conformance window: left, right, top, bottom
    // Bit positions of chroma_format_idc and of what follows the window.
    std::size_t shapeAt = 0, shapeEnd = 0;
    std::uint32_t bitDepth = 8; // of luma
    int log2MaxPocLsb = 4;
    std::uint32_t log2MinCb = 3, log2Ctb = 4;
};
// Reads it from `br` at the payload's start and leaves `br` after the coding block sizes.
// Nothing when the fields are out of their ranges or the bits run out.
std::optional<HevcSpsHead> readHevcSpsHead(BitReader& br);

// profile_tier_level() with its general profile present, as SPS and VPS carry it.
void skipHevcProfileTierLevel(BitReader& br, int maxSubLayersMinus1);

// nal points at the 2-byte NAL header.
std::optional<HevcSps> parseHevcSps(const std::uint8_t* nal, std::size_t size);
std::optional<HevcPps> parseHevcPps(const std::uint8_t* nal, std::size_t size);

} // namespace repair
