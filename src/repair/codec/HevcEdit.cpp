#include "codec/HevcEdit.h"

#include "codec/BitReader.h"
#include "codec/BitWriter.h"
#include "codec/H265Params.h"

#include <algorithm>

namespace repair {
namespace {

constexpr std::size_t kMaxSetBytes = 4096;
// Where the general profile starts in the payload: after the SPS's first byte, the VPS's
// first four.
constexpr std::size_t kSpsProfileAt = 1;
constexpr std::size_t kVpsProfileAt = 4;
constexpr std::uint32_t kMaxSide = 16384;

std::uint32_t subWidth(std::uint32_t chroma) {
    return chroma == 1 || chroma == 2 ? 2 : 1;
}

std::uint32_t subHeight(std::uint32_t chroma) {
    return chroma == 1 ? 2 : 1;
}

// The SPS head, where its shape is one this search writes: colour planes coded apart are
// not searched.
std::optional<HevcSpsHead> readShape(const std::vector<std::uint8_t>& rbsp) {
    BitReader br(rbsp.data(), rbsp.size());
    auto h = readHevcSpsHead(br);
    return h && !h->separateColourPlane ? h : std::nullopt;
}

// The whole payload, or nothing: a set cut short would be written back cut short.
std::vector<std::uint8_t> payload(const std::vector<std::uint8_t>& nal) {
    return nal.size() > 2 && nal.size() - 2 <= kMaxSetBytes
               ? unescapeRbsp(nal.data() + 2, nal.size() - 2, kMaxSetBytes)
               : std::vector<std::uint8_t>{};
}

// The bit position of rbsp_stop_one_bit: the last bit set.
std::size_t stopBit(const std::vector<std::uint8_t>& rbsp) {
    for (std::size_t i = rbsp.size(); i-- > 0;) {
        if (rbsp[i] != 0) {
            return i * 8 + 7 - static_cast<std::size_t>(__builtin_ctz(rbsp[i]));
        }
    }
    return 0;
}

// The NAL unit with payload bits [from, to) replaced by what `write` puts.
template <typename Write>
std::optional<std::vector<std::uint8_t>> spliced(const std::vector<std::uint8_t>& nal,
                                                 const std::vector<std::uint8_t>& rbsp,
                                                 std::size_t from, std::size_t to, Write write) {
    const std::size_t stop = stopBit(rbsp);
    if (from > to || stop < to) {
        return std::nullopt;
    }
    BitReader in(rbsp.data(), rbsp.size());
    BitWriter out;
    out.copy(in, from);
    write(out);
    in.skip(to - from);
    out.copy(in, stop - to);
    out.trailing();
    return escapeNal({nal[0], nal[1]}, out.bytes());
}

std::uint8_t levelFor(const HevcShape& s) {
    // Largest picture in luma samples for each level.
    static constexpr std::pair<std::uint64_t, std::uint8_t> kLevels[] = {
        {36864, 30},  {122880, 60},   {245760, 63},   {552960, 90},
        {983040, 93}, {2228224, 120}, {8912896, 150}, {35651584, 180}};
    const std::uint64_t samples = std::uint64_t{s.width} * s.height;
    for (const auto& [most, level] : kLevels) {
        if (samples <= most) {
            return level;
        }
    }
    return 186;
}

} // namespace

std::optional<HevcShape> hevcSpsShape(const std::vector<std::uint8_t>& sps) {
    const auto f = readShape(payload(sps));
    if (!f) {
        return std::nullopt;
    }
    const std::uint32_t chroma = f->chroma;
    const std::uint32_t dx = subWidth(chroma) * (f->window[0] + f->window[1]);
    const std::uint32_t dy = subHeight(chroma) * (f->window[2] + f->window[3]);
    if (dx >= f->width || dy >= f->height) {
        return std::nullopt;
    }
    return HevcShape{f->width - dx, f->height - dy, chroma};
}

std::optional<std::uint32_t> hevcSpsBitDepth(const std::vector<std::uint8_t>& sps) {
    const auto f = readShape(payload(sps));
    return f ? std::optional(f->bitDepth) : std::nullopt;
}

std::optional<HevcProfile> hevcSpsProfile(const std::vector<std::uint8_t>& sps) {
    const auto rbsp = payload(sps);
    if (rbsp.size() < kSpsProfileAt + 12) {
        return std::nullopt;
    }
    HevcProfile p;
    std::copy_n(rbsp.begin() + kSpsProfileAt, p.size(), p.begin());
    return p;
}

HevcProfile hevcProfileFor(const HevcProfile& ref, std::uint32_t refChroma, const HevcShape& s,
                           std::uint32_t bitDepth) {
    HevcProfile p = ref;
    if (s.chroma != refChroma) {
        // Tier kept; the source flags (progressive ... frame only) kept. 4:2:0 of 12 bits
        // and 4:4:4 are range extensions' (Main 12, Main 4:4:4 [10|12]).
        const bool rext = s.chroma != 1 || bitDepth > 10;
        const int idc = rext ? 4 : bitDepth > 8 ? 2 : 1;
        p[0] = static_cast<std::uint8_t>((ref[0] & 0xe0) | idc);
        p[1] = rext ? 0x08 : bitDepth > 8 ? 0x20 : 0x60; // Main 8-bit is also Main 10
        p[2] = p[3] = p[4] = 0;
        std::fill(p.begin() + 6, p.begin() + 11, std::uint8_t{0});
        // At most 12, 10 or 8 bits; 4:2:2 or less where 4:2:0; lower bit rate.
        const std::uint8_t depths = bitDepth > 10 ? 0x08 : bitDepth > 8 ? 0x0c : 0x0e;
        p[5] = static_cast<std::uint8_t>((ref[5] & 0xf0) | (rext ? depths | (s.chroma == 1) : 0));
        p[6] = rext ? (s.chroma == 1 ? 0x88 : 0x08) : 0;
    }
    p[11] = levelFor(s);
    return p;
}

std::optional<std::vector<std::uint8_t>> hevcSpsWith(const std::vector<std::uint8_t>& sps,
                                                     const HevcShape& shape,
                                                     const HevcProfile& profile) {
    auto rbsp = payload(sps);
    const auto f = readShape(rbsp);
    const std::uint32_t sw = subWidth(shape.chroma), sh = subHeight(shape.chroma);
    if (!f || rbsp.size() < kSpsProfileAt + profile.size() || shape.chroma > 3 ||
        shape.width == 0 || shape.height == 0 || shape.width > kMaxSide ||
        shape.height > kMaxSide || shape.width % sw != 0 || shape.height % sh != 0) {
        return std::nullopt;
    }
    std::copy(profile.begin(), profile.end(), rbsp.begin() + kSpsProfileAt);
    const std::uint32_t minCb = 1u << f->log2MinCb;
    const std::uint32_t width = (shape.width + minCb - 1) / minCb * minCb;
    const std::uint32_t height = (shape.height + minCb - 1) / minCb * minCb;
    return spliced(sps, rbsp, f->shapeAt, f->shapeEnd, [&](BitWriter& out) {
        out.ue(shape.chroma);
        if (shape.chroma == 3) {
            out.flag(false);
        }
        out.ue(width);
        out.ue(height);
        const bool window = width != shape.width || height != shape.height;
        out.flag(window);
        if (window) {
            out.ue(0);
            out.ue((width - shape.width) / sw);
            out.ue(0);
            out.ue((height - shape.height) / sh);
        }
    });
}

std::optional<std::vector<std::uint8_t>> hevcVpsWith(const std::vector<std::uint8_t>& vps,
                                                     const HevcProfile& profile) {
    auto rbsp = payload(vps);
    if (rbsp.size() < kVpsProfileAt + profile.size()) {
        return std::nullopt;
    }
    std::copy(profile.begin(), profile.end(), rbsp.begin() + kVpsProfileAt);
    return escapeNal({vps[0], vps[1]}, rbsp);
}

namespace {

// Bit positions of pps_cb_qp_offset and of what follows pps_cr_qp_offset.
struct ChromaQpAt {
    std::size_t at = 0, after = 0;
    std::int32_t cb = 0;
};

std::optional<ChromaQpAt> chromaQpAt(const std::vector<std::uint8_t>& rbsp) {
    BitReader br(rbsp.data(), rbsp.size());
    br.ue();
    br.ue();    // PPS and SPS ids
    br.skip(7); // dependent slices, output flag, extra bits, sign hiding, cabac init
    br.ue();
    br.ue();    // default reference indices
    br.se();    // init_qp_minus26
    br.skip(2); // constrained intra, transform skip
    if (br.flag()) {
        br.ue(); // diff_cu_qp_delta_depth
    }
    ChromaQpAt out;
    out.at = br.position();
    out.cb = br.se();
    br.se();
    out.after = br.position();
    if (br.failed() || out.cb < -12 || out.cb > 12) {
        return std::nullopt;
    }
    return out;
}

} // namespace

std::optional<std::int32_t> hevcPpsChromaQp(const std::vector<std::uint8_t>& pps) {
    const auto q = chromaQpAt(payload(pps));
    return q ? std::optional(q->cb) : std::nullopt;
}

std::optional<std::vector<std::uint8_t>> hevcPpsWith(const std::vector<std::uint8_t>& pps,
                                                     std::int32_t chromaQp) {
    const auto rbsp = payload(pps);
    const auto q = chromaQpAt(rbsp);
    if (!q) {
        return std::nullopt;
    }
    return spliced(pps, rbsp, q->at, q->after, [&](BitWriter& out) {
        out.se(chromaQp);
        out.se(chromaQp);
    });
}

} // namespace repair
