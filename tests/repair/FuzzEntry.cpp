#include "FuzzEntry.h"

#include "Box.h"
#include "BrokenFile.h"
#include "MediaWalker.h"
#include "MoovWriter.h"
#include "Options.h"
#include "Reference.h"
#include "Repair.h"
#include "RepairError.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace repair;

namespace {

// avcC of an x264 320x240 High profile stream, and a 44.1 kHz stereo AAC-LC config.
const std::uint8_t kAvcC[] = {0x01, 0x64, 0x00, 0x0d, 0xff, 0xe1, 0x00, 0x19, 0x67, 0x64, 0x00,
                              0x0d, 0xac, 0xd9, 0x41, 0x41, 0xfb, 0x01, 0x10, 0x00, 0x00, 0x03,
                              0x00, 0x10, 0x00, 0x00, 0x03, 0x03, 0x20, 0xf1, 0x42, 0x99, 0x60,
                              0x01, 0x00, 0x06, 0x68, 0xeb, 0xe3, 0xcb, 0x22, 0xc0};
const std::uint8_t kAsc[] = {0x12, 0x10};

WalkSetup fixedSetup() {
    WalkSetup s;
    s.avc = *parseAvcC(kAvcC, sizeof kAvcC);
    s.video.lengthSize = s.avc.lengthSize;
    s.video.maxNal = 1u << 20;
    AacConfig aac;
    aac.audioSpecificConfig.assign(kAsc, kAsc + sizeof kAsc);
    describeAudioSpecificConfig(aac);
    s.aac = aac;
    s.predictor = InterleavePredictor::fromSamplesPerChunk(2, true);
    return s;
}

// Samples lie inside the media data, in file order, without overlapping.
bool samplesValid(const WalkResult& walk, const MediaData& media) {
    std::uint64_t end = media.begin;
    for (const Sample& s : walk.samples) {
        if (s.size == 0 || s.offset < end || s.offset + s.size > media.end) {
            return false;
        }
        end = s.offset + s.size;
    }
    return walk.pictures.size() == walk.videoCount &&
           walk.videoCount + walk.audioCount == walk.samples.size();
}

// The written moov is one box whose children parse to its end.
bool moovValid(const std::vector<std::uint8_t>& moov) {
    MemorySource src(moov.data(), moov.size());
    const auto box = readBoxHeader(src, 0, moov.size());
    return box && box->end == moov.size() && !box->runsPastEnd;
}

bool walkAndWrite(const ByteSource& src, const WalkSetup& setup, const Reference* ref) {
    const MediaData media = findMediaData(src);
    MediaWalker walker(src, media.begin, media.end, setup);
    const WalkResult walk = walker.run();
    if (!samplesValid(walk, media)) {
        return false;
    }
    if (!ref || walk.samples.empty()) {
        return true;
    }
    std::vector<TrackOut> tracks;
    TrackOut v;
    v.ref = &*ref->video;
    v.tables = buildTables(walk.samples, kVideo, 0);
    tracks.push_back(v);
    return moovValid(buildMoov(ref->movieTimescale, tracks));
}

} // namespace

bool fuzzOne(const std::uint8_t* data, std::size_t size) {
    av_log_set_level(AV_LOG_QUIET);
    MemorySource src(data, size);
    bool ok = true;
    for (VideoCodec codec : {VideoCodec::H264, VideoCodec::Hevc}) {
        try {
            WalkSetup setup = fixedSetup();
            setup.video.codec = codec;
            ok = walkAndWrite(src, setup, nullptr) && ok;
        } catch (const RepairError&) {
        }
    }
    try {
        const Reference ref = readReference(src);
        ok = walkAndWrite(src, makeWalkSetup(ref, Options{}), &ref) && ok;
    } catch (const RepairError&) {
    }
    return ok;
}
