#include "codec/AvcSyntax.h"

#include "codec/BitReader.h"
#include "codec/BitWriter.h"

namespace repair {
namespace {

constexpr std::size_t kMaxParamBytes = 1024;

// Bits before the rbsp trailing bits: up to the last one bit.
std::size_t payloadBits(const std::vector<std::uint8_t>& rbsp) {
    for (std::size_t i = rbsp.size(); i-- > 0;) {
        for (int b = 0; b < 8; ++b) {
            if ((rbsp[i] >> b) & 1u) {
                return i * 8 + static_cast<std::size_t>(7 - b);
            }
        }
    }
    return 0;
}

// Bits [from, to) of the rbsp, one byte per bit.
std::vector<std::uint8_t> bitsOf(const std::vector<std::uint8_t>& rbsp, std::size_t from,
                                 std::size_t to) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = from; i < to && i / 8 < rbsp.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>((rbsp[i / 8] >> (7 - i % 8)) & 1u));
    }
    return out;
}

void put(BitWriter& w, const std::vector<std::uint8_t>& bits) {
    for (std::uint8_t b : bits) {
        w.bits(b, 1);
    }
}

// Scaling lists, their present flags included, kept as the bits they were.
std::vector<std::uint8_t> readScaling(BitReader& br, const std::vector<std::uint8_t>& rbsp,
                                      int lists) {
    const std::size_t from = br.position();
    if (br.flag()) {
        for (int i = 0; i < lists && !br.failed(); ++i) {
            if (!br.flag()) {
                continue;
            }
            int last = 8, next = 8;
            for (int j = 0; j < (i < 6 ? 16 : 64) && next != 0 && !br.failed(); ++j) {
                next = (last + br.se() + 256) % 256;
                last = next == 0 ? last : next;
            }
        }
    }
    return bitsOf(rbsp, from, br.position());
}

bool readHighFields(BitReader& br, const std::vector<std::uint8_t>& rbsp, AvcSpsFields& s) {
    s.chromaFormat = br.ue();
    if (s.chromaFormat > 3) {
        return false;
    }
    if (s.chromaFormat == 3) {
        s.separateColourPlane = br.flag();
    }
    s.bitDepthLuma = br.ue();
    s.bitDepthChroma = br.ue();
    s.bypass = br.flag();
    s.scalingBits = readScaling(br, rbsp, s.chromaFormat == 3 ? 12 : 8);
    return s.bitDepthLuma <= 6 && s.bitDepthChroma <= 6;
}

bool readPoc(BitReader& br, AvcSpsFields& s) {
    s.pocType = br.ue();
    if (s.pocType == 0) {
        s.log2MaxPocLsb = static_cast<int>(br.ue()) + 4;
        return s.log2MaxPocLsb <= 16;
    }
    if (s.pocType == 1) {
        s.deltaPocAlwaysZero = br.flag();
        s.offsetNonRef = br.se();
        s.offsetTopBottom = br.se();
        const std::uint32_t n = br.ue();
        for (std::uint32_t i = 0; i < n && i < 256 && !br.failed(); ++i) {
            s.refFrameOffsets.push_back(br.se());
        }
        return n < 256;
    }
    return s.pocType == 2;
}

void readFrame(BitReader& br, AvcSpsFields& s) {
    s.maxRefFrames = br.ue();
    s.gapsAllowed = br.flag();
    s.widthMbs = br.ue() + 1;
    s.heightUnits = br.ue() + 1;
    s.frameMbsOnly = br.flag();
    s.mbaff = !s.frameMbsOnly && br.flag();
    s.direct8x8 = br.flag();
    if (br.flag()) {
        for (auto& c : s.crop) {
            c = br.ue();
        }
    }
}

void writePoc(BitWriter& w, const AvcSpsFields& s) {
    w.ue(s.pocType);
    if (s.pocType == 0) {
        w.ue(static_cast<std::uint32_t>(s.log2MaxPocLsb - 4));
    } else if (s.pocType == 1) {
        w.flag(s.deltaPocAlwaysZero);
        w.se(s.offsetNonRef);
        w.se(s.offsetTopBottom);
        w.ue(static_cast<std::uint32_t>(s.refFrameOffsets.size()));
        for (auto o : s.refFrameOffsets) {
            w.se(o);
        }
    }
}

void writeReorderVui(BitWriter& w, std::uint32_t frames) {
    w.flag(true);
    w.bits(0, 8); // aspect ratio, overscan, signal type, chroma location, timing, HRDs, pic_struct
    w.flag(true); // bitstream_restriction_flag
    w.flag(true); // motion vectors over picture boundaries
    w.ue(0);      // max_bytes_per_pic_denom
    w.ue(0);      // max_bits_per_mb_denom
    w.ue(16);     // log2 of the longest motion vector, horizontal and vertical
    w.ue(16);
    w.ue(frames); // max_num_reorder_frames
    w.ue(frames); // max_dec_frame_buffering
}

} // namespace

bool avcHighProfile(std::uint32_t p) {
    for (std::uint32_t high : {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135}) {
        if (p == high) {
            return true;
        }
    }
    return false;
}

std::optional<AvcSpsFields> readAvcSps(const std::uint8_t* nal, std::size_t size) {
    if (size < 4 || (nal[0] & 0x1f) != 7) {
        return std::nullopt;
    }
    const auto rbsp = unescapeRbsp(nal + 1, size - 1, kMaxParamBytes);
    BitReader br(rbsp.data(), rbsp.size());
    AvcSpsFields s;
    s.profile = br.bits(8);
    s.constraints = br.bits(8);
    s.level = br.bits(8);
    s.id = br.ue();
    if (s.id > 31 || (avcHighProfile(s.profile) && !readHighFields(br, rbsp, s))) {
        return std::nullopt;
    }
    s.log2MaxFrameNum = static_cast<int>(br.ue()) + 4;
    if (s.log2MaxFrameNum > 16 || !readPoc(br, s)) {
        return std::nullopt;
    }
    readFrame(br, s);
    const std::size_t end = payloadBits(rbsp);
    if (br.failed() || br.position() > end || s.widthMbs > 1024 || s.heightUnits > 1024) {
        return std::nullopt;
    }
    s.vuiBits = bitsOf(rbsp, br.position(), end);
    return s;
}

std::vector<std::uint8_t> writeAvcSps(const AvcSpsFields& s) {
    BitWriter w;
    w.bits(s.profile, 8);
    w.bits(s.constraints, 8);
    w.bits(s.level, 8);
    w.ue(s.id);
    if (avcHighProfile(s.profile)) {
        w.ue(s.chromaFormat);
        if (s.chromaFormat == 3) {
            w.flag(s.separateColourPlane);
        }
        w.ue(s.bitDepthLuma);
        w.ue(s.bitDepthChroma);
        w.flag(s.bypass);
        s.scalingBits.empty() ? w.flag(false) : put(w, s.scalingBits);
    }
    w.ue(static_cast<std::uint32_t>(s.log2MaxFrameNum - 4));
    writePoc(w, s);
    w.ue(s.maxRefFrames);
    w.flag(s.gapsAllowed);
    w.ue(s.widthMbs - 1);
    w.ue(s.heightUnits - 1);
    w.flag(s.frameMbsOnly);
    if (!s.frameMbsOnly) {
        w.flag(s.mbaff);
    }
    w.flag(s.direct8x8);
    const bool cropped = s.crop[0] || s.crop[1] || s.crop[2] || s.crop[3];
    w.flag(cropped);
    for (int i = 0; cropped && i < 4; ++i) {
        w.ue(s.crop[i]);
    }
    if (s.reorderVui) {
        writeReorderVui(w, s.maxRefFrames);
    } else {
        s.vuiBits.empty() ? w.flag(false) : put(w, s.vuiBits);
    }
    w.trailing();
    return escapeNal({0x67}, w.bytes());
}

std::optional<AvcPpsFields> readAvcPps(const std::uint8_t* nal, std::size_t size) {
    if (size < 2 || (nal[0] & 0x1f) != 8) {
        return std::nullopt;
    }
    const auto rbsp = unescapeRbsp(nal + 1, size - 1, kMaxParamBytes);
    BitReader br(rbsp.data(), rbsp.size());
    AvcPpsFields p;
    p.id = br.ue();
    p.spsId = br.ue();
    p.cabac = br.flag();
    p.bottomFieldPicOrder = br.flag();
    if (br.ue() != 0) {
        return std::nullopt; // slice groups: not a camera's
    }
    p.refIdxL0 = br.ue();
    p.refIdxL1 = br.ue();
    p.weightedPred = br.flag();
    p.weightedBipred = br.bits(2);
    p.initQp = br.se();
    p.initQs = br.se();
    p.chromaQpOffset = br.se();
    p.deblockingControl = br.flag();
    p.constrainedIntra = br.flag();
    p.redundantPicCnt = br.flag();
    const std::size_t end = payloadBits(rbsp);
    p.more = br.position() < end;
    if (p.more) {
        p.transform8x8 = br.flag();
        p.scalingBits = readScaling(br, rbsp, 6 + (p.transform8x8 ? 2 : 0)); // 4:2:0
        p.secondChromaQpOffset = br.se();
    }
    if (br.failed() || br.position() > end || p.id > 255 || p.spsId > 31 || p.refIdxL0 > 31 ||
        p.refIdxL1 > 31) {
        return std::nullopt;
    }
    return p;
}

std::vector<std::uint8_t> writeAvcPps(const AvcPpsFields& p) {
    BitWriter w;
    w.ue(p.id);
    w.ue(p.spsId);
    w.flag(p.cabac);
    w.flag(p.bottomFieldPicOrder);
    w.ue(0);
    w.ue(p.refIdxL0);
    w.ue(p.refIdxL1);
    w.flag(p.weightedPred);
    w.bits(p.weightedBipred, 2);
    w.se(p.initQp);
    w.se(p.initQs);
    w.se(p.chromaQpOffset);
    w.flag(p.deblockingControl);
    w.flag(p.constrainedIntra);
    w.flag(p.redundantPicCnt);
    if (p.more || p.transform8x8) {
        w.flag(p.transform8x8);
        p.scalingBits.empty() ? w.flag(false) : put(w, p.scalingBits);
        w.se(p.secondChromaQpOffset);
    }
    w.trailing();
    return escapeNal({0x68}, w.bytes());
}

} // namespace repair
