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

std::optional<HevcSpsHead> readHevcSpsHead(BitReader& br) {
    constexpr std::uint32_t kMaxSide = 16384;
    br.skip(4); // sps_video_parameter_set_id
    const int subLayers = static_cast<int>(br.bits(3));
    br.skip(1);
    if (subLayers > 6) {
        return std::nullopt;
    }
    skipHevcProfileTierLevel(br, subLayers);
    HevcSpsHead h;
    h.id = br.ue();
    h.shapeAt = br.position();
    h.chroma = br.ue();
    if (h.chroma == 3) {
        h.separateColourPlane = br.flag();
    }
    h.width = br.ue();
    h.height = br.ue();
    if (br.flag()) {
        for (auto& w : h.window) {
            w = br.ue();
        }
    }
    h.shapeEnd = br.position();
    h.bitDepth = br.ue() + 8;
    br.ue(); // of chroma
    const std::uint32_t pocBits = br.ue();
    const bool allLayers = br.flag();
    for (int i = allLayers ? 0 : subLayers; i <= subLayers; ++i) {
        skipUe(br, 3); // decoded picture buffering per sub-layer
    }
    h.log2MinCb = br.ue() + 3;
    h.log2Ctb = h.log2MinCb + br.ue();
    if (br.failed() || h.id > 15 || h.chroma > 3 || pocBits > 12 || h.log2Ctb > 6 ||
        h.bitDepth > 16 || h.width == 0 || h.height == 0 || h.width > kMaxSide ||
        h.height > kMaxSide) {
        return std::nullopt;
    }
    h.log2MaxPocLsb = static_cast<int>(pocBits) + 4;
    return h;
}

std::optional<HevcSps> parseHevcSps(const std::uint8_t* nal, std::size_t size) {
    if (size < 4 || ((nal[0] >> 1) & 0x3f) != 33) {
        return std::nullopt;
    }
    const auto rbsp = unescapeRbsp(nal + 2, size - 2, kMaxParamBytes);
    BitReader br(rbsp.data(), rbsp.size());
    const auto h = readHevcSpsHead(br);
    if (!h) {
        return std::nullopt;
    }
    HevcSps sps;
    sps.id = h->id;
    sps.separateColourPlane = h->separateColourPlane;
    sps.log2MaxPocLsb = h->log2MaxPocLsb;
    sps.picSizeInCtbs = ceilDiv(h->width, 1u << h->log2Ctb) * ceilDiv(h->height, 1u << h->log2Ctb);
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
