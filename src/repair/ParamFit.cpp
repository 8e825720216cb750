#include "ParamFit.h"

#include "DecodeCheck.h"
#include "box/Box.h"
#include "box/Endian.h"
#include "box/EntryPatch.h"
#include "box/RepairError.h"
#include "codec/AvDecoder.h"
#include "codec/AvcInfer.h"
#include "codec/ConfigRecord.h"
#include "codec/DecoderSetup.h"
#include "codec/HevcInfer.h"

#include <chrono>

namespace repair {
namespace {

// Pictures from the first keyframe on that are judged: enough for frame numbers and
// picture order to show, few enough to decode in moments.
constexpr std::size_t kPictures = 12;
constexpr std::uint64_t kMaxBytes = 48u << 20; // all of them together
constexpr auto kInferBound = std::chrono::seconds(15);

// Pictures of a track in decode order from keyframe `first` (1-based sample number) on.
NalUnits picturesFrom(const RecoveredTrack& r, std::uint64_t first, const ByteSource& broken) {
    NalUnits out;
    std::uint64_t n = 1, bytes = 0;
    for (const auto& c : r.chunks) {
        std::uint64_t at = c.offset;
        for (std::uint32_t k = 0; k < c.samples && out.size() < kPictures; ++k, ++n) {
            const std::uint32_t size = r.fixedSize ? r.fixedSize : r.sizes.at(n - 1);
            if (n >= first) {
                bytes += size;
                if (bytes > kMaxBytes) {
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

const std::string kLead = "the reference's parameter sets do not fit this recording: ";

// The stream's own parameter sets, when its first keyframe carries them and they are
// not the reference's.
std::string useOwn(RefTrack& t, VideoCodec codec, const DecoderSetup& setup,
                   const NalUnits& pictures, const StreamParams& own) {
    if (sameSets(own, paramsOf(codec, t.decoderConfig))) {
        return {};
    }
    std::string looks;
    auto config = configRecord(codec, own, setup.nalLengthSize, t.decoderConfig);
    if (config && apply(t, codec, setup, std::move(*config), pictures, looks)) {
        return kLead + "used the ones in its stream (" + looks + ")";
    }
    return {};
}

// Whether the reference's configuration decodes the pictures from the first keyframe on
// or, should damage have hit those, from the last.
bool refFits(const RefTrack& t, const RecoveredTrack& r, const DecoderSetup& setup,
             const NalUnits& first, const ByteSource& broken) {
    return decodes(setup, t.decoderConfig, first) ||
           decodes(setup, t.decoderConfig, picturesFrom(r, r.syncSamples.back(), broken));
}

RepairError noFit(const RefTrack& t, const DecoderSetup& setup, const ByteSource& refFile,
                  const std::string& why) {
    std::string looks = refLooks(t, setup, refFile);
    looks += looks.empty() ? "" : " ";
    return {ExitCode::Mismatch, "the broken file's video does not decode with the reference's "
                                "parameter sets (" +
                                    looks + typeName(t.codec) + ") and carries none of its own; " +
                                    why};
}

std::string fitTrack(RefTrack& t, const RecoveredTrack& r, const ByteSource& broken,
                     const ByteSource& refFile) {
    const auto setup = decoderSetup(t);
    const bool avc = t.codec == fourcc("avc1") || t.codec == fourcc("avc3");
    if (!setup || setup->nalLengthSize == 0 || r.syncSamples.empty() ||
        !AvDecoder(setup->codecId, {}).ok()) {
        return {};
    }
    const VideoCodec codec = avc ? VideoCodec::H264 : VideoCodec::Hevc;
    const NalUnits pictures = picturesFrom(r, r.syncSamples.front(), broken);
    if (pictures.empty()) {
        return {};
    }
    const StreamParams own = paramsIn(codec, pictures.front(), setup->nalLengthSize);
    if (!own.empty()) {
        return useOwn(t, codec, *setup, pictures, own);
    }
    if (refFits(t, r, *setup, pictures, broken)) {
        return {};
    }
    const auto started = std::chrono::steady_clock::now();
    const auto inferred = avc ? inferAvcParams(t.decoderConfig, pictures, started + kInferBound)
                              : inferHevcParams(t.decoderConfig, pictures, started + kInferBound);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    const std::string ms = std::to_string(static_cast<int>(took.count() * 1000)) + " ms";
    std::string looks;
    if (!inferred || !apply(t, codec, *setup, inferred->config, pictures, looks)) {
        throw noFit(t, *setup, refFile, "no parameter sets found in " + ms + " fit it");
    }
    return kLead + "inferred " + inferred->what + " (" + looks + ") in " + ms;
}

} // namespace

std::vector<std::string> fitParameterSets(Reference& ref, const ByteSource& refFile,
                                          const WalkResult& walk, const ByteSource& broken) {
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < ref.tracks.size() && i < walk.tracks.size(); ++i) {
        if (isVideoHandler(ref.tracks[i].handler) && ref.tracks[i].fault.empty()) {
            std::string line = fitTrack(ref.tracks[i], walk.tracks[i], broken, refFile);
            if (!line.empty()) {
                changed.push_back("track " + std::to_string(i + 1) + ": " + line);
            }
        }
    }
    return changed;
}

} // namespace repair
