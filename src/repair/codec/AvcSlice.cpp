#include "codec/AvcSlice.h"

#include "codec/BitReader.h"

#include <algorithm>

namespace repair {
namespace {

constexpr int kMaxModifications = 33;
constexpr int kMaxMarkingOps = 66;

enum Slice : std::uint32_t { P = 0, B = 1, I = 2, SP = 3, SI = 4 };

bool readModifications(BitReader& br) {
    if (!br.flag()) {
        return true;
    }
    for (int i = 0; i < kMaxModifications && !br.failed(); ++i) {
        const std::uint32_t idc = br.ue();
        if (idc == 3) {
            return true;
        }
        if (idc > 5) {
            return false;
        }
        br.ue();
    }
    return false;
}

bool readWeights(BitReader& br, std::uint32_t refs, bool chroma) {
    for (std::uint32_t i = 0; i < refs && !br.failed(); ++i) {
        for (int part = 0; part < (chroma ? 2 : 1); ++part) {
            if (!br.flag()) {
                continue;
            }
            for (int k = 0; k < (part == 0 ? 1 : 2); ++k) {
                const std::int32_t weight = br.se(), offset = br.se();
                if (weight < -128 || weight > 127 || offset < -128 || offset > 127) {
                    return false;
                }
            }
        }
    }
    return true;
}

bool readPredWeights(BitReader& br, std::uint32_t type, std::uint32_t l0, std::uint32_t l1,
                     bool chroma) {
    if (br.ue() > 7 || (chroma && br.ue() > 7)) {
        return false;
    }
    return readWeights(br, l0, chroma) && (type != B || readWeights(br, l1, chroma));
}

bool readMarking(BitReader& br, bool idr) {
    if (idr) {
        return br.bits(2) == 0; // no_output_of_prior_pics, long_term_reference: not a camera's
    }
    if (!br.flag()) {
        return true;
    }
    for (int i = 0; i < kMaxMarkingOps && !br.failed(); ++i) {
        const std::uint32_t op = br.ue();
        if (op == 0) {
            return true;
        }
        if (op > 6) {
            return false;
        }
        if (op == 1 || op == 3) {
            br.ue();
        }
        if (op == 2 || op == 3 || op == 4 || op == 6) {
            br.ue();
        }
    }
    return false;
}

// From the reference lists on, for P and B slices.
bool readInterFields(BitReader& br, std::uint32_t type, const AvcPpsFields& pps, bool chroma) {
    std::uint32_t l0 = pps.refIdxL0 + 1, l1 = pps.refIdxL1 + 1;
    if (type == B) {
        br.skip(1); // direct_spatial_mv_pred_flag
    }
    if (br.flag()) {
        l0 = br.ue() + 1;
        l1 = type == B ? br.ue() + 1 : l1;
    }
    if (l0 > 32 || l1 > 32 || !readModifications(br) || (type == B && !readModifications(br))) {
        return false;
    }
    const bool weighted = (type == P && pps.weightedPred) || (type == B && pps.weightedBipred == 1);
    return !weighted || readPredWeights(br, type, l0, l1, chroma);
}

bool readTail(BitReader& br, const AvcPpsFields& pps) {
    if (pps.deblockingControl) {
        const std::uint32_t idc = br.ue();
        if (idc > 2) {
            return false;
        }
        if (idc != 1) {
            const std::int32_t alpha = br.se(), beta = br.se();
            if (alpha < -6 || alpha > 6 || beta < -6 || beta > 6) {
                return false;
            }
        }
    }
    while (pps.cabac && br.position() % 8 != 0) {
        if (!br.flag()) {
            return false;
        }
    }
    return !br.failed();
}

} // namespace

std::optional<AvcSliceFacts> readAvcSlice(const std::vector<std::uint8_t>& rbsp, bool idr,
                                          bool reference, const AvcSpsFields& sps,
                                          const AvcPpsFields& pps) {
    BitReader br(rbsp.data(), rbsp.size());
    AvcSliceFacts f;
    f.idr = idr;
    f.reference = reference;
    const std::uint32_t firstMb = br.ue();
    f.sliceType = br.ue();
    f.ppsId = br.ue();
    if (firstMb != 0 || f.sliceType > 9 || f.ppsId != pps.id) {
        return std::nullopt;
    }
    f.sliceType %= 5;
    if (f.sliceType == SP || f.sliceType == SI || (idr && f.sliceType != I)) {
        return std::nullopt;
    }
    if (sps.separateColourPlane) {
        br.skip(2);
    }
    f.frameNum = br.bits(sps.log2MaxFrameNum);
    bool field = false;
    if (!sps.frameMbsOnly && (field = br.flag())) {
        br.skip(1);
    }
    if (idr && br.ue() > 0xffff) {
        return std::nullopt;
    }
    if (sps.pocType == 0) {
        f.pocLsb = br.bits(sps.log2MaxPocLsb);
        if (pps.bottomFieldPicOrder && !field) {
            br.se();
        }
    } else if (sps.pocType == 1 && !sps.deltaPocAlwaysZero) {
        br.se();
        if (pps.bottomFieldPicOrder && !field) {
            br.se();
        }
    }
    if (pps.redundantPicCnt && br.ue() > 127) {
        return std::nullopt;
    }
    const bool chroma = sps.chromaFormat != 0 && !sps.separateColourPlane;
    if (f.sliceType != I && !readInterFields(br, f.sliceType, pps, chroma)) {
        return std::nullopt;
    }
    if ((reference && !readMarking(br, idr)) || (pps.cabac && f.sliceType != I && br.ue() > 2)) {
        return std::nullopt;
    }
    f.qpDelta = br.se();
    if (f.qpDelta < -51 || f.qpDelta > 51 || !readTail(br, pps)) {
        return std::nullopt;
    }
    return f;
}

bool slicesFollowOn(const std::vector<AvcSliceData>& slices, const AvcSpsFields& sps,
                    const AvcPpsFields& pps, std::pair<int, int>& qpDelta) {
    qpDelta = {51, -51};
    const std::uint32_t wrap = 1u << sps.log2MaxFrameNum;
    std::optional<std::uint32_t> prevRef;
    for (const auto& s : slices) {
        const bool idr = (s.header & 0x1f) == 5;
        const auto f = readAvcSlice(s.rbsp, idr, (s.header & 0x60) != 0, sps, pps);
        if (!f || (idr && (f->frameNum != 0 || f->pocLsb != 0))) {
            return false;
        }
        if (!idr && prevRef && f->frameNum != (*prevRef + 1) % wrap) {
            return false;
        }
        qpDelta = {std::min(qpDelta.first, f->qpDelta), std::max(qpDelta.second, f->qpDelta)};
        if (f->reference || idr) {
            prevRef = f->frameNum;
        }
    }
    return !slices.empty();
}

} // namespace repair
