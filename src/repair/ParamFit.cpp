#include "ParamFit.h"

#include "box/Box.h"
#include "box/Endian.h"
#include "box/EntryPatch.h"
#include "codec/AvDecoder.h"
#include "codec/AvcInfer.h"
#include "codec/ConfigRecord.h"
#include "codec/DecoderSetup.h"

#include <chrono>

namespace repair {
namespace {

// Pictures from the first keyframe on that are judged: enough for frame numbers and
// picture order to show, few enough to decode in moments.
constexpr std::size_t kPictures = 12;
constexpr std::uint32_t kMaxPicture = 16u << 20;
constexpr auto kInferBound = std::chrono::seconds(15);

// The first pictures of a track in decode order, from its first keyframe on.
NalUnits leadingPictures(const RecoveredTrack& r, const ByteSource& broken) {
    NalUnits out;
    if (r.syncSamples.empty()) {
        return out;
    }
    const std::uint64_t first = r.syncSamples.front();
    std::uint64_t n = 1;
    for (const auto& c : r.chunks) {
        std::uint64_t at = c.offset;
        for (std::uint32_t k = 0; k < c.samples && out.size() < kPictures; ++k, ++n) {
            const std::uint32_t size = r.fixedSize ? r.fixedSize : r.sizes.at(n - 1);
            if (n >= first) {
                if (size > kMaxPicture) {
                    return out;
                }
                out.push_back(broken.bytes(at, size));
            }
            at += size;
        }
    }
    return out;
}

bool decodes(const DecoderSetup& s, const std::vector<std::uint8_t>& config,
             const NalUnits& pictures, std::string* looks = nullptr) {
    AvDecoder d(s.codecId, config);
    if (!d.decodeRun(pictures)) {
        return false;
    }
    if (looks) {
        *looks = d.looks();
    }
    return true;
}

bool sameSets(const StreamParams& a, const StreamParams& b) {
    return a.vps == b.vps && a.sps == b.sps && a.pps == b.pps;
}

// Puts the configuration into the track's sample description, with the picture size a
// decoder gives for it.
bool apply(RefTrack& t, VideoCodec codec, const DecoderSetup& s, std::vector<std::uint8_t> config,
           const NalUnits& pictures, std::string& looks) {
    AvDecoder d(s.codecId, config);
    if (!d.decodeRun(pictures) || d.width() <= 0 || d.width() > 0xffff || d.height() > 0xffff) {
        return false;
    }
    looks = d.looks();
    const VideoEntryChange change{
        static_cast<std::uint16_t>(d.width()), static_cast<std::uint16_t>(d.height()),
        codec == VideoCodec::Hevc ? fourcc("hvcC") : fourcc("avcC"), config};
    auto stsd = withVideoEntry(t.stsd, change);
    if (!stsd) {
        return false;
    }
    t.stsd = std::move(*stsd);
    t.decoderConfig = std::move(config);
    setTrackSize(t.tkhd, change.width, change.height);
    return true;
}

std::string fitTrack(RefTrack& t, const RecoveredTrack& r, const ByteSource& broken) {
    const auto setup = decoderSetup(t);
    const bool avc = t.codec == fourcc("avc1") || t.codec == fourcc("avc3");
    if (!setup || setup->nalLengthSize == 0 || !AvDecoder(setup->codecId, {}).ok()) {
        return {};
    }
    const VideoCodec codec = avc ? VideoCodec::H264 : VideoCodec::Hevc;
    const NalUnits pictures = leadingPictures(r, broken);
    if (pictures.empty()) {
        return {};
    }
    const StreamParams own = paramsIn(codec, pictures.front(), setup->nalLengthSize);
    const std::string lead = "the reference's parameter sets do not fit this recording: ";
    std::string looks;
    if (!own.empty()) {
        if (sameSets(own, paramsOf(codec, t.decoderConfig))) {
            return {};
        }
        auto config = configRecord(codec, own, setup->nalLengthSize, t.decoderConfig);
        if (config && apply(t, codec, *setup, std::move(*config), pictures, looks)) {
            return lead + "used the ones in its stream (" + looks + ")";
        }
        return {};
    }
    if (!avc || decodes(*setup, t.decoderConfig, pictures)) {
        return {};
    }
    const auto started = std::chrono::steady_clock::now();
    const auto inferred = inferAvcParams(t.decoderConfig, pictures, started + kInferBound);
    if (inferred && apply(t, codec, *setup, inferred->config, pictures, looks)) {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        return lead + "inferred " + inferred->what + " (" + looks + ") in " +
               std::to_string(static_cast<int>(took.count() * 1000)) + " ms";
    }
    return {};
}

} // namespace

std::vector<std::string> fitParameterSets(Reference& ref, const WalkResult& walk,
                                          const ByteSource& broken) {
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < ref.tracks.size() && i < walk.tracks.size(); ++i) {
        if (isVideoHandler(ref.tracks[i].handler) && ref.tracks[i].fault.empty()) {
            std::string line = fitTrack(ref.tracks[i], walk.tracks[i], broken);
            if (!line.empty()) {
                changed.push_back("track " + std::to_string(i + 1) + ": " + line);
            }
        }
    }
    return changed;
}

} // namespace repair
