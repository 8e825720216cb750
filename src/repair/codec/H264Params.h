#pragma once

#include "codec/H265Params.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// The fields of a sequence parameter set that slice headers and picture order depend on.
struct Sps {
    std::uint32_t id = 0;
    bool separateColourPlane = false;
    int log2MaxFrameNum = 4;
    std::uint32_t pocType = 0;
    int log2MaxPocLsb = 4;
    bool deltaPicOrderAlwaysZero = false;
    // Order type 1: expected counts over a cycle of reference frames.
    std::int32_t offsetForNonRefPic = 0;
    std::int32_t offsetForTopToBottomField = 0;
    std::vector<std::int32_t> refFrameOffsets;
    bool frameMbsOnly = true;
    std::uint32_t picSizeInMbs = 0;
    bool frameNumGaps = false; // gaps_in_frame_num_value_allowed_flag
    // Baseline and Extended streams may send a picture's slices in any order (ASO).
    bool anySliceOrder = false;
};

struct Pps {
    std::uint32_t id = 0;
    std::uint32_t spsId = 0;
    bool bottomFieldPicOrderPresent = false;
};

// Parameter sets by id, from avcC and from in-band SPS/PPS NAL units.
class ParamSets {
public:
    // Parse a NAL unit (header byte included); returns false when it is not a valid SPS/PPS.
    bool addSps(const std::uint8_t* nal, std::size_t size);
    bool addPps(const std::uint8_t* nal, std::size_t size);

    const Pps* pps(std::uint32_t id) const;
    const Sps* sps(std::uint32_t id) const;

    // HEVC parameter sets (NAL header included).
    bool addHevcSps(const std::uint8_t* nal, std::size_t size);
    bool addHevcPps(const std::uint8_t* nal, std::size_t size);
    const HevcPps* hevcPps(std::uint32_t id) const;
    const HevcSps* hevcSps(std::uint32_t id) const;
    bool empty() const { return spsCount_ == 0; }

private:
    std::array<std::optional<Sps>, 32> sps_{};
    std::array<std::optional<Pps>, 256> pps_{};
    std::array<std::optional<HevcSps>, 16> hevcSps_{};
    std::array<std::optional<HevcPps>, 64> hevcPps_{};
    int spsCount_ = 0;
};

std::optional<Sps> parseSps(const std::uint8_t* nal, std::size_t size);
std::optional<Pps> parsePps(const std::uint8_t* nal, std::size_t size);

// Decoder configuration record of an avc1/avc3 (or hvc1/hev1) sample entry.
struct AvcConfig {
    int lengthSize = 4;
    ParamSets params;
};

std::optional<AvcConfig> parseAvcC(const std::uint8_t* data, std::size_t size);
std::optional<AvcConfig> parseHvcC(const std::uint8_t* data, std::size_t size);

} // namespace repair
