#include "codec/H265Nal.h"

#include "codec/BitReader.h"

namespace repair {
namespace {

constexpr std::size_t kSliceHeaderBytes = 48;

int bitsFor(std::uint32_t values) {
    int bits = 0;
    while ((std::uint64_t{1} << bits) < values) {
        ++bits;
    }
    return bits;
}

bool anchorsOrder(int type, int temporalId) {
    const bool subLayerNonRef = type <= 14 && type % 2 == 0;
    const bool leading = type >= 6 && type <= 9;
    return temporalId == 0 && !subLayerNonRef && !leading;
}

} // namespace

std::optional<SliceHeader> parseHevcSliceHeader(const std::uint8_t* nal, std::size_t size,
                                                const ParamSets& params) {
    if (size < 3) {
        return std::nullopt;
    }
    const int type = (nal[0] >> 1) & 0x3f;
    const auto rbsp = unescapeRbsp(nal + 2, size - 2, kSliceHeaderBytes);
    BitReader br(rbsp.data(), rbsp.size());
    SliceHeader sh;
    const bool first = br.flag();
    sh.firstMb = first ? 0 : 1;
    const bool irap = type >= 16 && type <= 23;
    sh.hevc = true;
    sh.idr = type >= 16 && type <= 20;
    sh.sync = irap;
    sh.nalRefIdc = anchorsOrder(type, (nal[1] & 7) - 1) ? 1 : 0;
    if (irap) {
        br.skip(1); // no_output_of_prior_pics_flag
    }
    sh.ppsId = br.ue();
    const HevcPps* pps = params.hevcPps(sh.ppsId);
    const HevcSps* sps = pps ? params.hevcSps(pps->spsId) : nullptr;
    if (br.failed() || !sps) {
        return std::nullopt;
    }
    if (!first) {
        const bool dependent = pps->dependentSliceSegments && br.flag();
        const std::uint32_t address = br.bits(bitsFor(sps->picSizeInCtbs));
        if (br.failed() || address == 0 || address >= sps->picSizeInCtbs) {
            return std::nullopt;
        }
        if (dependent) {
            return sh;
        }
    }
    br.skip(static_cast<std::size_t>(pps->extraSliceHeaderBits));
    sh.sliceType = br.ue();
    if (pps->outputFlagPresent) {
        br.skip(1);
    }
    if (sps->separateColourPlane) {
        br.skip(2);
    }
    if (type != 19 && type != 20) {
        sh.pocLsb = br.bits(sps->log2MaxPocLsb);
    }
    if (br.failed() || sh.sliceType > 2) {
        return std::nullopt;
    }
    return sh;
}

} // namespace repair
