#include "codec/H265Params.h"

#include "codec/BitReader.h"

namespace repair {
namespace {

constexpr std::size_t kMaxParamBytes = 512;
constexpr int kProfileBits = 88; // profile space .. reserved bits of one profile entry

} // namespace

void skipHevcProfileTierLevel(BitReader& br, int maxSubLayersMinus1) {
    br.skip(kProfileBits + 8); // general profile and level
    bool profile[8] = {};
    bool level[8] = {};
    for (int i = 0; i < maxSubLayersMinus1; ++i) {
        profile[i] = br.flag();
        level[i] = br.flag();
    }
    if (maxSubLayersMinus1 > 0) {
        br.skip(static_cast<std::size_t>(8 - maxSubLayersMinus1) * 2);
    }
    for (int i = 0; i < maxSubLayersMinus1; ++i) {
        br.skip((profile[i] ? kProfileBits : 0) + (level[i] ? 8 : 0));
    }
}

namespace {

std::uint32_t ceilDiv(std::uint32_t a, std::uint32_t b) {
    return (a + b - 1) / b;
}

void skipUe(BitReader& br, int count) {
    for (int i = 0; i < count; ++i) {
        br.ue();
    }
}

} // namespace

std::optional<HevcSps> parseHevcSps(const std::uint8_t* nal, std::size_t size) {
    if (size < 4 || ((nal[0] >> 1) & 0x3f) != 33) {
        return std::nullopt;
    }
    const auto rbsp = unescapeRbsp(nal + 2, size - 2, kMaxParamBytes);
    BitReader br(rbsp.data(), rbsp.size());
    br.skip(4); // sps_video_parameter_set_id
    const int subLayers = static_cast<int>(br.bits(3));
    br.skip(1);
    if (subLayers > 6) {
        return std::nullopt;
    }
    skipHevcProfileTierLevel(br, subLayers);
    HevcSps sps;
    sps.id = br.ue();
    const std::uint32_t chroma = br.ue();
    if (chroma == 3) {
        sps.separateColourPlane = br.flag();
    }
    const std::uint32_t width = br.ue();
    const std::uint32_t height = br.ue();
    if (br.flag()) {
        skipUe(br, 4); // conformance window offsets
    }
    skipUe(br, 2); // bit depths
    const std::uint32_t pocBits = br.ue();
    const bool allLayers = br.flag();
    for (int i = allLayers ? 0 : subLayers; i <= subLayers; ++i) {
        skipUe(br, 3); // decoded picture buffering per sub-layer
    }
    const std::uint32_t minCb = br.ue() + 3;
    const std::uint32_t ctb = minCb + br.ue();
    if (br.failed() || sps.id > 15 || chroma > 3 || pocBits > 12 || ctb > 6 || width == 0 ||
        height == 0 || width > 16384 || height > 16384) {
        return std::nullopt;
    }
    sps.log2MaxPocLsb = static_cast<int>(pocBits) + 4;
    sps.picSizeInCtbs = ceilDiv(width, 1u << ctb) * ceilDiv(height, 1u << ctb);
    return sps;
}

std::optional<HevcPps> parseHevcPps(const std::uint8_t* nal, std::size_t size) {
    if (size < 3 || ((nal[0] >> 1) & 0x3f) != 34) {
        return std::nullopt;
    }
    const auto rbsp = unescapeRbsp(nal + 2, size - 2, kMaxParamBytes);
    BitReader br(rbsp.data(), rbsp.size());
    HevcPps pps;
    pps.id = br.ue();
    pps.spsId = br.ue();
    pps.dependentSliceSegments = br.flag();
    pps.outputFlagPresent = br.flag();
    pps.extraSliceHeaderBits = static_cast<int>(br.bits(3));
    if (br.failed() || pps.id > 63 || pps.spsId > 15) {
        return std::nullopt;
    }
    return pps;
}

} // namespace repair
