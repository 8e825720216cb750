#include "codec/HevcRows.h"

#include "codec/BitReader.h"
#include "codec/H265Params.h"
#include "codec/NalSyntax.h"

#include <optional>

namespace repair {
namespace {

constexpr std::size_t kMaxSetBytes = 4096;
constexpr std::size_t kMaxHeaderBytes = 2048; // room for an entry point per row of 8K

struct SpsFacts {
    std::uint32_t chroma = 1, height = 0, ctb = 64;
    bool sao = false;
};

struct PpsFacts {
    int extraBits = 0;
    bool outputFlag = false, sliceChromaQp = false, tiles = false, wavefronts = false;
    bool acrossSlices = false, deblockOverride = false, deblockOff = false;
};

std::vector<std::uint8_t> payload(const std::vector<std::uint8_t>& nal, std::size_t most) {
    return nal.size() > 2 ? unescapeRbsp(nal.data() + 2, nal.size() - 2, most)
                          : std::vector<std::uint8_t>{};
}

std::optional<SpsFacts> spsFacts(const std::vector<std::uint8_t>& sps) {
    const auto rbsp = payload(sps, kMaxSetBytes);
    BitReader br(rbsp.data(), rbsp.size());
    const auto h = readHevcSpsHead(br);
    if (!h || h->separateColourPlane) {
        return std::nullopt; // colour planes apart
    }
    br.ue(), br.ue(), br.ue(), br.ue(); // transform sizes and depths
    if (br.flag() && br.flag()) {
        return std::nullopt; // scaling lists in the SPS: SAO's flag lies past them
    }
    br.skip(1); // amp
    SpsFacts f;
    f.chroma = h->chroma;
    f.height = h->height;
    f.sao = br.flag();
    if (br.failed() || h->log2Ctb < 4) {
        return std::nullopt;
    }
    f.ctb = 1u << h->log2Ctb;
    return f;
}

std::optional<PpsFacts> ppsFacts(const std::vector<std::uint8_t>& pps) {
    const auto rbsp = payload(pps, kMaxSetBytes);
    BitReader br(rbsp.data(), rbsp.size());
    PpsFacts f;
    br.ue(), br.ue();
    br.skip(1);
    f.outputFlag = br.flag();
    f.extraBits = static_cast<int>(br.bits(3));
    br.skip(2);
    br.ue(), br.ue(), br.se();
    br.skip(2);
    if (br.flag()) {
        br.ue();
    }
    br.se(), br.se();
    f.sliceChromaQp = br.flag();
    br.skip(3); // weighted prediction, transquant bypass
    f.tiles = br.flag();
    f.wavefronts = br.flag();
    if (f.tiles) {
        return std::nullopt;
    }
    f.acrossSlices = br.flag();
    if (br.flag()) {
        f.deblockOverride = br.flag();
        f.deblockOff = br.flag();
        if (!f.deblockOff) {
            br.se(), br.se();
        }
    }
    if (br.failed()) {
        return std::nullopt;
    }
    return f;
}

struct KeySlice {
    std::vector<std::uint8_t> rbsp;
    std::size_t bytes = 0; // of the NAL unit
    int segments = 0;
};

KeySlice keySlice(const std::vector<std::uint8_t>& picture, int lengthSize) {
    KeySlice k;
    forEachNal(picture, lengthSize, [&](const std::uint8_t* nal, std::size_t n) {
        const int type = n > 2 ? (nal[0] >> 1) & 0x3f : -1;
        if (type >= 16 && type <= 21) {
            // An IDR slice's header has no picture order or reference sets to read.
            k.segments += type == 19 || type == 20 ? 1 : 2;
            if (k.segments == 1) {
                k.rbsp = unescapeRbsp(nal + 2, n - 2, kMaxHeaderBytes);
                k.bytes = n;
            }
        } else if (type >= 0 && type < 32) {
            k.segments = 2; // another picture's slice in it: not judged
        }
        return n > 0;
    });
    return k;
}

} // namespace

RowsSay hevcEntryPoints(const std::vector<std::uint8_t>& keyPicture, int lengthSize,
                        const std::vector<std::uint8_t>& sps,
                        const std::vector<std::uint8_t>& pps) {
    const auto s = spsFacts(sps);
    const auto p = ppsFacts(pps);
    const KeySlice k = keySlice(keyPicture, lengthSize);
    if (!s || !p || !p->wavefronts || k.segments != 1) {
        return RowsSay::Silent;
    }
    BitReader br(k.rbsp.data(), k.rbsp.size());
    if (!br.flag()) {
        return RowsSay::Differ; // the keyframe's one segment starts its picture
    }
    br.skip(1); // no_output_of_prior_pics_flag
    br.ue();
    br.skip(static_cast<std::size_t>(p->extraBits));
    const std::uint32_t sliceType = br.ue();
    if (p->outputFlag) {
        br.skip(1);
    }
    bool filtered = false;
    if (s->sao) {
        filtered = br.flag();
        if (s->chroma != 0) {
            filtered = br.flag() || filtered;
        }
    }
    br.se(); // slice_qp_delta
    if (p->sliceChromaQp) {
        br.se(), br.se();
    }
    bool deblockOff = p->deblockOff;
    if (p->deblockOverride && br.flag()) {
        deblockOff = br.flag();
        if (!deblockOff) {
            br.se(), br.se();
        }
    }
    if (p->acrossSlices && (filtered || !deblockOff)) {
        br.skip(1);
    }
    const std::uint32_t entries = br.ue();
    const std::uint32_t rows = (s->height + s->ctb - 1) / s->ctb;
    if (br.failed() || sliceType != 2 || entries + 1 != rows) {
        return RowsSay::Differ;
    }
    const std::uint32_t bits = entries > 0 ? br.ue() + 1 : 0;
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < entries && bits <= 32; ++i) {
        total += std::uint64_t{br.bits(static_cast<int>(bits))} + 1;
    }
    return !br.failed() && bits <= 32 && total < k.bytes ? RowsSay::Agree : RowsSay::Differ;
}

} // namespace repair
