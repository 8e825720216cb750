#include "codec/HevcInfer.h"

#include "codec/AvDecoder.h"
#include "codec/ConfigRecord.h"
#include "codec/HevcEdit.h"
#include "codec/HevcRows.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace repair {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kHvccChroma = 16; // chroma_format_idc in the record's fixed fields

struct Size {
    std::uint32_t width, height;
};
// The picture sizes cameras record in.
constexpr Size kSizes[] = {{640, 360},   {854, 480},   {960, 540},   {1280, 720},  {1920, 1080},
                           {2560, 1440}, {3840, 2160}, {320, 240},   {640, 480},   {720, 480},
                           {720, 576},   {1440, 1080}, {1280, 960},  {1920, 1440}, {2704, 1520},
                           {2704, 2028}, {4096, 2160}, {2880, 2880}, {1080, 1920}, {720, 1280},
                           {2160, 3840}, {5312, 2988}, {7680, 4320}};

bool sameAspect(Size a, const HevcShape& b) {
    return std::uint64_t{a.width} * b.height == std::uint64_t{b.width} * a.height;
}

// The reference's shape, then the others: its chroma format first, its aspect first.
std::vector<HevcShape> shapesToTry(const HevcShape& ref) {
    std::vector<HevcShape> out = {ref};
    for (const std::uint32_t chroma : {ref.chroma, ref.chroma == 1 ? 3u : 1u}) {
        if (chroma != ref.chroma) {
            out.push_back({ref.width, ref.height, chroma});
        }
        for (const bool aspect : {true, false}) {
            for (const Size& z : kSizes) {
                const HevcShape s{z.width, z.height, chroma};
                if (!(s == ref) && sameAspect(z, ref) == aspect) {
                    out.push_back(s);
                }
            }
        }
    }
    return out;
}

std::string levelName(std::uint8_t level) {
    return std::to_string(level / 30) + (level % 30 ? "." + std::to_string(level % 30 / 3) : "");
}

bool decodes(const std::vector<std::uint8_t>& config, const NalUnits& pictures) {
    AvDecoder d(AV_CODEC_ID_HEVC, config);
    return d.decodeRun(pictures);
}

bool fromX265(const std::vector<std::uint8_t>& config) {
    const std::string tag = "x265 (build";
    return std::search(config.begin(), config.end(), tag.begin(), tag.end()) != config.end();
}

// The parameter sets for a shape: the reference's with its size, chroma format and
// profile, and, in another chroma format, the chroma QP offsets x265 gives it.
struct Candidate {
    StreamParams sets;
    std::vector<std::uint8_t> like; // the record's fixed fields
    std::string what;
};

std::optional<Candidate> candidate(const StreamParams& ref, const std::vector<std::uint8_t>& like,
                                   const HevcShape& refShape, const HevcShape& s, bool x265) {
    const auto refProfile = hevcSpsProfile(ref.sps.front());
    const auto depth = hevcSpsBitDepth(ref.sps.front());
    const auto profile = refProfile && depth
                             ? hevcProfileFor(*refProfile, refShape.chroma, s, *depth)
                             : HevcProfile{};
    auto sps = hevcSpsWith(ref.sps.front(), s, profile);
    auto vps = hevcVpsWith(ref.vps.front(), profile);
    if (!refProfile || !sps || !vps) {
        return std::nullopt;
    }
    Candidate c{ref, like, ""};
    c.sets.sps = {std::move(*sps)};
    c.sets.vps = {std::move(*vps)};
    c.like[kHvccChroma] = static_cast<std::uint8_t>(0xfc | s.chroma);
    if (s.width != refShape.width || s.height != refShape.height) {
        c.what = std::to_string(s.width) + "x" + std::to_string(s.height) + ", ";
    }
    if (s.chroma != refShape.chroma) {
        static const char* const kFormats[] = {"monochrome", "4:2:0", "4:2:2", "4:4:4"};
        c.what += std::string(kFormats[s.chroma]) + " chroma, ";
        if (x265) {
            const std::int32_t qp = s.chroma == 3 ? 6 : 0;
            auto pps = hevcPpsWith(ref.pps.front(), qp);
            if (!pps) {
                return std::nullopt;
            }
            c.sets.pps = {std::move(*pps)};
            c.what += "chroma QP offsets " + std::to_string(qp) +
                      " as x265 gives them (decoding does not show them), ";
        }
    }
    c.what += "level " + levelName(profile[11]);
    return c;
}

} // namespace

std::optional<InferredParams>
inferHevcParams(const std::vector<std::uint8_t>& refConfig,
                const std::vector<std::vector<std::uint8_t>>& pictures, Clock::time_point deadline,
                bool x265) {
    const StreamParams ref = paramsOf(VideoCodec::Hevc, refConfig);
    if (ref.empty() || ref.vps.empty() || refConfig.size() <= kHvccChroma || pictures.empty()) {
        return std::nullopt;
    }
    const int lengthSize = (refConfig[21] & 3) + 1;
    const auto refShape = hevcSpsShape(ref.sps.front());
    if (!refShape) {
        return std::nullopt;
    }
    const NalUnits key = {pictures.front()};
    // A size the entry points do not confirm is taken only as the one size that decodes.
    std::optional<InferredParams> unconfirmed;
    int decoding = 0;
    for (const HevcShape& shape : shapesToTry(*refShape)) {
        if (Clock::now() > deadline) {
            return std::nullopt;
        }
        const auto c = candidate(ref, refConfig, *refShape, shape, x265 || fromX265(refConfig));
        auto config =
            c ? configRecord(VideoCodec::Hevc, c->sets, lengthSize, c->like) : std::nullopt;
        const RowsSay rows =
            c ? hevcEntryPoints(key.front(), lengthSize, c->sets.sps.front(), c->sets.pps.front())
              : RowsSay::Differ;
        if (!config || rows == RowsSay::Differ || !decodes(*config, key) ||
            !decodes(*config, pictures)) {
            continue;
        }
        const bool sized = shape.width == refShape->width && shape.height == refShape->height;
        if (rows == RowsSay::Agree || sized) {
            return InferredParams{std::move(*config), c->what};
        }
        if (++decoding == 1) {
            unconfirmed = InferredParams{std::move(*config),
                                         c->what + ", the only picture size tried that decodes"};
        }
    }
    return decoding == 1 ? unconfirmed : std::nullopt;
}

} // namespace repair
