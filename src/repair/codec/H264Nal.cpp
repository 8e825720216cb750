#include "codec/H264Nal.h"

#include "codec/BitReader.h"

namespace repair {
namespace {

// Enough RBSP for any slice header field we read.
constexpr std::size_t kSliceHeaderBytes = 48;

bool readPicOrder(BitReader& br, const Sps& sps, const Pps& pps, SliceHeader& sh) {
    if (sps.pocType == 0) {
        sh.pocLsb = br.bits(sps.log2MaxPocLsb);
        if (pps.bottomFieldPicOrderPresent && !sh.fieldPic) {
            sh.deltaPocBottom = br.se();
        }
    } else if (sps.pocType == 1 && !sps.deltaPicOrderAlwaysZero) {
        sh.deltaPoc[0] = br.se();
        if (pps.bottomFieldPicOrderPresent && !sh.fieldPic) {
            sh.deltaPoc[1] = br.se();
        }
    }
    return !br.failed();
}

} // namespace

bool plausibleNalHeader(std::uint8_t header) {
    if (header & 0x80) {
        return false;
    }
    const int type = nalType(header);
    const int ref = nalRefIdc(header);
    switch (type) {
    case 1:
        return true;
    case 5:
    case 7:
    case 8:
        return ref != 0;
    case 6:
    case 9:
    case 10:
    case 11:
    case 12:
        return ref == 0;
    default:
        return false;
    }
}

std::optional<SliceHeader> parseSliceHeader(const std::uint8_t* nal, std::size_t size,
                                            const ParamSets& params) {
    if (size < 2 || !isVcl(nalType(nal[0]))) {
        return std::nullopt;
    }
    const auto rbsp = unescapeRbsp(nal + 1, size - 1, kSliceHeaderBytes);
    BitReader br(rbsp.data(), rbsp.size());
    SliceHeader sh;
    sh.nalRefIdc = nalRefIdc(nal[0]);
    sh.idr = nalType(nal[0]) == 5;
    sh.sync = sh.idr;
    sh.firstMb = br.ue();
    sh.sliceType = br.ue();
    sh.ppsId = br.ue();
    const Pps* pps = params.pps(sh.ppsId);
    const Sps* sps = pps ? params.sps(pps->spsId) : nullptr;
    if (br.failed() || sh.sliceType > 9 || !sps || sh.firstMb >= sps->picSizeInMbs) {
        return std::nullopt;
    }
    // An IDR picture holds only I (or SI) slices.
    if (sh.idr && sh.sliceType % 5 != 2 && sh.sliceType % 5 != 4) {
        return std::nullopt;
    }
    if (sps->separateColourPlane) {
        br.skip(2);
    }
    sh.frameNum = br.bits(sps->log2MaxFrameNum);
    if (sh.idr && sh.frameNum != 0) {
        return std::nullopt;
    }
    if (!sps->frameMbsOnly && (sh.fieldPic = br.flag())) {
        sh.bottomField = br.flag();
    }
    if (sh.idr) {
        sh.idrPicId = br.ue();
    }
    if (!readPicOrder(br, *sps, *pps, sh)) {
        return std::nullopt;
    }
    return sh;
}

bool startsNewPicture(const SliceHeader& prev, const SliceHeader& cur) {
    if (cur.hevc) {
        return cur.firstMb == 0; // first_slice_segment_in_pic_flag
    }
    return cur.firstMb == 0 || cur.frameNum != prev.frameNum || cur.ppsId != prev.ppsId ||
           cur.fieldPic != prev.fieldPic || cur.bottomField != prev.bottomField ||
           (cur.nalRefIdc == 0) != (prev.nalRefIdc == 0) || cur.idr != prev.idr ||
           (cur.idr && cur.idrPicId != prev.idrPicId) || cur.pocLsb != prev.pocLsb ||
           cur.deltaPocBottom != prev.deltaPocBottom || cur.deltaPoc[0] != prev.deltaPoc[0] ||
           cur.deltaPoc[1] != prev.deltaPoc[1];
}

} // namespace repair
