#pragma once

#include "codec/H264Params.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace repair {

// The slice header fields that tell pictures apart and give their display order.
struct SliceHeader {
    std::uint32_t firstMb = 0;
    std::uint32_t sliceType = 0;
    std::uint32_t ppsId = 0;
    std::uint32_t frameNum = 0;
    bool fieldPic = false;
    bool bottomField = false;
    bool idr = false;  // picture order count restarts here
    bool sync = false; // decoding can start here (IDR; HEVC: any IRAP picture)
    bool hevc = false;
    std::uint32_t idrPicId = 0;
    std::uint32_t pocLsb = 0;
    std::int32_t deltaPocBottom = 0;
    std::int32_t deltaPoc[2] = {0, 0}; // order type 1
    int nalRefIdc = 0;
};

enum class NalType : std::uint8_t {
    Slice = 1,
    Idr = 5,
    Sei = 6,
    Sps = 7,
    Pps = 8,
    Aud = 9,
    EndSeq = 10,
    EndStream = 11,
    Filler = 12
};

inline int nalType(std::uint8_t header) {
    return header & 0x1f;
}
inline int nalRefIdc(std::uint8_t header) {
    return (header >> 5) & 3;
}
inline bool isVcl(int type) {
    return type == 1 || type == 5;
}

// NAL header rules a camera stream keeps: forbidden bit clear, a known type, and the
// reference indication each type requires.
bool plausibleNalHeader(std::uint8_t header);

// Parses the start of a slice NAL (header byte included). Fails when the fields do not
// fit the known parameter sets.
std::optional<SliceHeader> parseSliceHeader(const std::uint8_t* nal, std::size_t size,
                                            const ParamSets& params);

// True when cur begins a new primary picture after prev (same access unit otherwise).
bool startsNewPicture(const SliceHeader& prev, const SliceHeader& cur);

} // namespace repair
