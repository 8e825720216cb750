#include "codec/ConfigRecord.h"

#include "box/Endian.h"
#include "codec/AvcSyntax.h"
#include "codec/BitReader.h"

namespace repair {
namespace {

constexpr std::size_t kHvccFixed = 23; // fields before the NAL unit arrays
constexpr std::size_t kMaxSets = 31;

void add(StreamParams& p, VideoCodec codec, const std::uint8_t* nal, std::size_t size) {
    if (size < 2) {
        return;
    }
    const NalKind k = classify(codec, nal);
    const bool vps = codec == VideoCodec::Hevc && k.type == 32;
    NalUnits* into = k.sps ? &p.sps : k.pps ? &p.pps : vps ? &p.vps : nullptr;
    if (into && into->size() < kMaxSets) {
        into->emplace_back(nal, nal + size);
    }
}

void putNals(std::vector<std::uint8_t>& out, const NalUnits& nals) {
    for (const auto& n : nals) {
        putBe16(out, static_cast<std::uint16_t>(n.size()));
        out.insert(out.end(), n.begin(), n.end());
    }
}

bool fits16(const NalUnits& nals) {
    for (const auto& n : nals) {
        if (n.size() > 0xffff) {
            return false;
        }
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> avcRecord(const StreamParams& p, int lengthSize) {
    const auto& sps = p.sps.front();
    const auto fields = readAvcSps(sps.data(), sps.size());
    if (!fields) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out = {1, sps[1], sps[2], sps[3]};
    out.push_back(static_cast<std::uint8_t>(0xfc | (lengthSize - 1)));
    out.push_back(static_cast<std::uint8_t>(0xe0 | p.sps.size()));
    putNals(out, p.sps);
    out.push_back(static_cast<std::uint8_t>(p.pps.size()));
    putNals(out, p.pps);
    if (fields->profile == 100 || fields->profile == 110 || fields->profile == 122 ||
        fields->profile == 244) {
        out.push_back(static_cast<std::uint8_t>(0xfc | fields->chromaFormat));
        out.push_back(static_cast<std::uint8_t>(0xf8 | fields->bitDepthLuma));
        out.push_back(static_cast<std::uint8_t>(0xf8 | fields->bitDepthChroma));
        out.push_back(0); // no SPS extensions
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> hevcRecord(const StreamParams& p, int lengthSize,
                                                    const std::vector<std::uint8_t>& like) {
    const auto& sps = p.sps.front();
    // The general profile, tier and level: 12 bytes after the SPS's first payload byte.
    constexpr std::size_t kPtl = 12;
    const auto rbsp = sps.size() > 2 ? unescapeRbsp(sps.data() + 2, sps.size() - 2, 1 + kPtl)
                                     : std::vector<std::uint8_t>{};
    if (like.size() < kHvccFixed || rbsp.size() < 1 + kPtl) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(like.begin(), like.begin() + kHvccFixed);
    std::copy(rbsp.begin() + 1, rbsp.end(), out.begin() + 1);
    out[21] = static_cast<std::uint8_t>((out[21] & 0xfc) | (lengthSize - 1));
    out[22] = static_cast<std::uint8_t>(p.vps.empty() ? 2 : 3);
    int type = 32;
    for (const NalUnits* nals : {&p.vps, &p.sps, &p.pps}) {
        if (!nals->empty()) {
            out.push_back(static_cast<std::uint8_t>(0x80 | type));
            putBe16(out, static_cast<std::uint16_t>(nals->size()));
            putNals(out, *nals);
        }
        ++type;
    }
    return out;
}

} // namespace

StreamParams paramsIn(VideoCodec codec, const std::vector<std::uint8_t>& sample, int lengthSize) {
    StreamParams p;
    forEachNal(sample, lengthSize, [&](const std::uint8_t* nal, std::size_t size) {
        add(p, codec, nal, size);
        return true;
    });
    return p;
}

StreamParams paramsOf(VideoCodec codec, const std::vector<std::uint8_t>& config) {
    StreamParams p;
    const auto* d = config.data();
    const std::size_t size = config.size();
    const auto list = [&](std::size_t& at, std::size_t count) {
        for (std::size_t i = 0; i < count && at + 2 <= size; ++i) {
            const std::size_t n = be16(d + at);
            at += 2;
            if (n > size - at) {
                at = size;
                return;
            }
            add(p, codec, d + at, n);
            at += n;
        }
    };
    if (codec == VideoCodec::H264 && size >= 6) {
        std::size_t at = 6;
        list(at, d[5] & 0x1f);
        if (at < size) {
            const std::size_t count = d[at++];
            list(at, count);
        }
    } else if (codec == VideoCodec::Hevc && size >= kHvccFixed) {
        std::size_t at = kHvccFixed;
        for (int a = 0; a < d[22] && at + 3 <= size; ++a) {
            const std::size_t count = be16(d + at + 1);
            at += 3;
            list(at, count);
        }
    }
    return p;
}

std::optional<std::vector<std::uint8_t>> configRecord(VideoCodec codec, const StreamParams& p,
                                                      int lengthSize,
                                                      const std::vector<std::uint8_t>& like) {
    if (p.empty() || (lengthSize != 1 && lengthSize != 2 && lengthSize != 4) || !fits16(p.vps) ||
        !fits16(p.sps) || !fits16(p.pps)) {
        return std::nullopt;
    }
    return codec == VideoCodec::Hevc ? hevcRecord(p, lengthSize, like) : avcRecord(p, lengthSize);
}

} // namespace repair
