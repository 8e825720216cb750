#include "codec/ParamScan.h"

#include "box/Endian.h"
#include "codec/BitReader.h"
#include "codec/H264Params.h"

#include <algorithm>

namespace repair {
namespace {

constexpr int kLengthSizes[] = {4, 2, 1};
constexpr std::size_t kMaxParamSet = 1024;
constexpr int kMaxChain = 32;
constexpr std::size_t kSliceBytes = 512;
constexpr int kHevcVps = 32;
// profile_tier_level of an HEVC SPS: after its first byte, 12 bytes as hvcC repeats them.
constexpr std::size_t kPtlBytes = 12;

std::uint64_t lengthAt(const std::uint8_t* p, int ls) {
    std::uint64_t n = 0;
    for (int i = 0; i < ls; ++i) {
        n = (n << 8) | p[i];
    }
    return n;
}

// Keeps a parameter set that parses; false for one that does not.
bool keep(FoundParams& p, ParamSets& check, const NalKind& k, const std::uint8_t* nal,
          std::size_t n) {
    const bool hevc = p.codec == VideoCodec::Hevc;
    std::vector<std::uint8_t> bytes(nal, nal + n);
    if (k.sps) {
        p.sps.push_back(std::move(bytes));
        return hevc ? check.addHevcSps(nal, n) : check.addSps(nal, n);
    }
    if (k.pps) {
        p.pps.push_back(std::move(bytes));
        return hevc ? check.addHevcPps(nal, n) : check.addPps(nal, n);
    }
    p.vps.push_back(std::move(bytes));
    return true;
}

std::optional<FoundParams> chainFrom(const std::uint8_t* data, std::size_t size, std::size_t at,
                                     VideoCodec c, int ls) {
    FoundParams p{c, ls, {}, {}, {}, {}};
    ParamSets check;
    const auto hs = static_cast<std::size_t>(nalHeaderSize(c));
    const auto lsz = static_cast<std::size_t>(ls);
    std::size_t q = at;
    for (int n = 0; n < kMaxChain && size - q >= lsz + hs; ++n) {
        const std::uint64_t len = lengthAt(data + q, ls);
        const std::uint8_t* nal = data + q + lsz;
        if (len < hs || !plausibleHeader(c, nal)) {
            return std::nullopt;
        }
        const NalKind k = classify(c, nal);
        const std::size_t avail = size - q - lsz;
        if (k.vcl) {
            const bool whole =
                !p.sps.empty() && !p.pps.empty() && (c == VideoCodec::H264 || !p.vps.empty());
            p.slice.assign(nal, nal + std::min<std::uint64_t>({len, avail, kSliceBytes}));
            return whole ? std::optional(p) : std::nullopt;
        }
        if (len > avail) {
            return std::nullopt;
        }
        const bool param = k.sps || k.pps || (c == VideoCodec::Hevc && k.type == kHevcVps);
        if (param && (len > kMaxParamSet || !keep(p, check, k, nal, len))) {
            return std::nullopt;
        }
        q += lsz + len;
    }
    return std::nullopt;
}

// Where a chain may open: an H.264 SPS, an HEVC VPS.
bool opensChain(VideoCodec c, const std::uint8_t* h) {
    if (!plausibleHeader(c, h)) {
        return false;
    }
    const NalKind k = classify(c, h);
    return c == VideoCodec::H264 ? k.sps : k.type == kHevcVps;
}

void putNals(std::vector<std::uint8_t>& out, const std::vector<std::vector<std::uint8_t>>& nals) {
    for (const auto& n : nals) {
        putBe16(out, static_cast<std::uint16_t>(n.size()));
        out.insert(out.end(), n.begin(), n.end());
    }
}

std::vector<std::uint8_t> avcC(const FoundParams& p) {
    const auto& sps = p.sps.front();
    std::vector<std::uint8_t> out{
        1,
        sps.size() > 1 ? sps[1] : std::uint8_t{0},
        sps.size() > 2 ? sps[2] : std::uint8_t{0},
        sps.size() > 3 ? sps[3] : std::uint8_t{0},
        static_cast<std::uint8_t>(0xFC | (p.lengthSize - 1)),
        static_cast<std::uint8_t>(0xE0 | std::min<std::size_t>(p.sps.size(), 31))};
    putNals(out, {p.sps.begin(), p.sps.begin() + std::min<std::ptrdiff_t>(std::ssize(p.sps), 31)});
    out.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(p.pps.size(), 255)));
    putNals(out, {p.pps.begin(), p.pps.begin() + std::min<std::ptrdiff_t>(std::ssize(p.pps), 255)});
    return out;
}

std::vector<std::uint8_t> hvcC(const FoundParams& p, int chromaFormat, int bitDepth) {
    const auto& sps = p.sps.front();
    auto rbsp = sps.size() > 2 ? unescapeRbsp(sps.data() + 2, sps.size() - 2, 1 + kPtlBytes)
                               : std::vector<std::uint8_t>{};
    rbsp.resize(1 + kPtlBytes, 0);
    const int subLayers = ((rbsp[0] >> 1) & 7) + 1;
    const int nested = rbsp[0] & 1;
    // configurationVersion, then the profile, tier and level as the SPS has them.
    std::vector<std::uint8_t> out = rbsp;
    out[0] = 1;
    putBe16(out, 0xF000);
    out.push_back(0xFC);
    out.push_back(static_cast<std::uint8_t>(0xFC | (chromaFormat & 3)));
    out.push_back(static_cast<std::uint8_t>(0xF8 | ((bitDepth - 8) & 7)));
    out.push_back(static_cast<std::uint8_t>(0xF8 | ((bitDepth - 8) & 7)));
    putBe16(out, 0);
    out.push_back(static_cast<std::uint8_t>((subLayers << 3) | (nested << 2) | (p.lengthSize - 1)));
    out.push_back(3);
    const std::pair<int, const std::vector<std::vector<std::uint8_t>>*> arrays[] = {
        {32, &p.vps}, {33, &p.sps}, {34, &p.pps}};
    for (const auto& [type, nals] : arrays) {
        out.push_back(static_cast<std::uint8_t>(0x80 | type));
        putBe16(out, static_cast<std::uint16_t>(nals->size()));
        putNals(out, *nals);
    }
    return out;
}

} // namespace

std::optional<FoundParams> findParamSets(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 1; i + 2 <= size; ++i) {
        for (const VideoCodec c : {VideoCodec::H264, VideoCodec::Hevc}) {
            if (!opensChain(c, data + i)) {
                continue;
            }
            for (const int ls : kLengthSizes) {
                if (i < static_cast<std::size_t>(ls)) {
                    continue;
                }
                if (auto p = chainFrom(data, size, i - static_cast<std::size_t>(ls), c, ls)) {
                    return p;
                }
            }
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> configRecord(const FoundParams& p, int chromaFormat, int bitDepth) {
    return p.codec == VideoCodec::Hevc ? hvcC(p, chromaFormat, bitDepth) : avcC(p);
}

std::vector<std::uint8_t> annexB(const FoundParams& p) {
    std::vector<std::uint8_t> out;
    for (const auto* set : {&p.vps, &p.sps, &p.pps}) {
        for (const auto& n : *set) {
            out.insert(out.end(), {0, 0, 0, 1});
            out.insert(out.end(), n.begin(), n.end());
        }
    }
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), p.slice.begin(), p.slice.end());
    return out;
}

} // namespace repair
