#include "codec/AvcInfer.h"

#include "codec/AvDecoder.h"
#include "codec/AvcSearch.h"
#include "codec/AvcSlice.h"
#include "codec/BitReader.h"
#include "codec/ConfigRecord.h"

#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace repair {
namespace {

using Clock = std::chrono::steady_clock;

// Slice header bytes read: far more than any header of a camera's needs.
constexpr std::size_t kHeaderBytes = 512;

std::vector<AvcSliceData> firstSlices(const NalUnits& pictures, int lengthSize) {
    std::vector<AvcSliceData> out;
    for (const auto& p : pictures) {
        forEachNal(p, lengthSize, [&](const std::uint8_t* nal, std::size_t n) {
            const int type = n > 0 ? nal[0] & 0x1f : 0;
            if (type == 1 || type == 5) {
                out.push_back({nal[0], unescapeRbsp(nal + 1, n - 1, kHeaderBytes)});
                return false;
            }
            return n > 0;
        });
    }
    return out;
}

std::vector<std::uint8_t> record(const AvcCandidate& c, int lengthSize) {
    StreamParams p;
    p.sps = {writeAvcSps(c.sps)};
    p.pps = {writeAvcPps(c.pps)};
    return configRecord(VideoCodec::H264, p, lengthSize, {}).value_or(std::vector<std::uint8_t>{});
}

bool decodes(const AvcCandidate& c, int lengthSize, const NalUnits& pictures) {
    AvDecoder d(AV_CODEC_ID_H264, record(c, lengthSize));
    return d.decodeRun(pictures);
}

// The candidates whose slice headers read, each tried with the picture sizes, transform
// modes and initial QPs its decoding depends on: first its keyframe alone, then all.
std::optional<AvcCandidate> firstDecoding(const AvcSearch& search, const NalUnits& pictures,
                                          int lengthSize, Clock::time_point deadline) {
    const NalUnits key = {pictures.front()};
    std::map<std::vector<std::uint8_t>, bool> keyDecodes; // by the fields a keyframe shows
    for (const AvcCandidate& header : search.headerFits()) {
        for (const AvcCandidate& c : search.decodeVariants(header)) {
            if (Clock::now() > deadline) {
                return std::nullopt;
            }
            AvcCandidate intra = c;
            intra.pps.refIdxL0 = 0;
            intra.pps.weightedPred = false;
            intra.pps.weightedBipred = 0;
            const auto [known, added] = keyDecodes.try_emplace(record(intra, lengthSize), false);
            if (added) {
                known->second = decodes(c, lengthSize, key);
            }
            if (!known->second) {
                continue;
            }
            for (const AvcCandidate& whole : search.streamVariants(c)) {
                if (decodes(whole, lengthSize, pictures)) {
                    return whole;
                }
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<InferredParams> inferAvcParams(const std::vector<std::uint8_t>& refConfig,
                                             const std::vector<std::vector<std::uint8_t>>& pictures,
                                             Clock::time_point deadline) {
    const StreamParams ref = paramsOf(VideoCodec::H264, refConfig);
    if (ref.empty() || refConfig.size() < 5 || pictures.empty()) {
        return std::nullopt;
    }
    const int lengthSize = (refConfig[4] & 3) + 1;
    const auto sps = readAvcSps(ref.sps.front().data(), ref.sps.front().size());
    const auto pps = readAvcPps(ref.pps.front().data(), ref.pps.front().size());
    const auto slices = firstSlices(pictures, lengthSize);
    if (!sps || !pps || slices.empty()) {
        return std::nullopt;
    }
    const AvcSearch search({*sps, *pps}, slices);
    const auto found = firstDecoding(search, pictures, lengthSize, deadline);
    if (!found) {
        return std::nullopt;
    }
    return InferredParams{record(*found, lengthSize), search.changes(*found)};
}

} // namespace repair
