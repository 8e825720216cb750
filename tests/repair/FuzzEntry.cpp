#include "FuzzEntry.h"

#include "BoxBuilder.h"
#include "Engine.h"
#include "OwnIndex.h"
#include "box/Box.h"
#include "box/BrokenFile.h"
#include "box/Endian.h"
#include "box/RepairError.h"
#include "write/MoovWriter.h"

#include <algorithm>

extern "C" {
#include <libavutil/log.h>
}

using namespace repair;

namespace {

// avcC of an x264 320x240 High profile stream, and the esds of a 44.1 kHz stereo AAC-LC
// stream (ES_Descriptor, DecoderConfigDescriptor, AudioSpecificConfig 12 10).
const std::uint8_t kAvcC[] = {0x01, 0x64, 0x00, 0x0d, 0xff, 0xe1, 0x00, 0x19, 0x67, 0x64, 0x00,
                              0x0d, 0xac, 0xd9, 0x41, 0x41, 0xfb, 0x01, 0x10, 0x00, 0x00, 0x03,
                              0x00, 0x10, 0x00, 0x00, 0x03, 0x03, 0x20, 0xf1, 0x42, 0x99, 0x60,
                              0x01, 0x00, 0x06, 0x68, 0xeb, 0xe3, 0xcb, 0x22, 0xc0};
const std::uint8_t kEsds[] = {0x03, 0x16, 0x00, 0x01, 0x00, 0x04, 0x11, 0x40,
                              0x15, 0x00, 0x00, 0x00, 0x00, 0x01, 0xf4, 0x00,
                              0x00, 0x01, 0xf4, 0x00, 0x05, 0x02, 0x12, 0x10};

// Samples the data codecs learn from: two KLV items ("DEVC") and two boxes of a key.
const std::uint8_t kLearnt[] = {
    'D', 'E', 'V', 'C', 0, 1,  0, 4, 1, 2, 3, 4, 'D', 'E', 'V', 'C', 0, 1,  0, 8, 1, 2, 3, 4, 5, 6,
    7,   8,   0,   0,   0, 12, 0, 0, 0, 1, 9, 9, 9,   9,   0,   0,   0, 12, 0, 0, 0, 1, 7, 7, 7, 7};

using camlayout::BoxBuilder;
using Bytes = std::vector<std::uint8_t>;

// A 16x16 grey MPEG-4 Part 2 stream: its VOL (the esds decoder configuration) and first
// VOP; and the first picture of the same in MPEG-2, sequence header included.
const std::uint8_t kVol[] = {0x00, 0x00, 0x01, 0xb0, 0x01, 0x00, 0x00, 0x01, 0xb5, 0x89, 0x13, 0x00,
                             0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0xc4, 0x8d, 0x88, 0x00,
                             0xcd, 0x00, 0x84, 0x02, 0x14, 0x63, 0x00, 0x00, 0x01, 0xb2, 0x4c, 0x61,
                             0x76, 0x63, 0x35, 0x39, 0x2e, 0x33, 0x37, 0x2e, 0x31, 0x30, 0x30};
const std::uint8_t kVop[] = {0x00, 0x00, 0x01, 0xb3, 0x00, 0x10, 0x07, 0x00, 0x00,
                             0x01, 0xb6, 0x10, 0x60, 0x51, 0xcb, 0x6f, 0xdf};
const std::uint8_t kMpeg2Picture[] = {
    0x00, 0x00, 0x01, 0xb3, 0x01, 0x00, 0x10, 0x13, 0xff, 0xff, 0xe0, 0x18, 0x00, 0x00,
    0x01, 0xb5, 0x14, 0x8a, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0xb8, 0x00, 0x08,
    0x00, 0x40, 0x00, 0x00, 0x01, 0x00, 0x00, 0x0f, 0xff, 0xf8, 0x00, 0x00, 0x01, 0xb5,
    0x8f, 0xff, 0xf3, 0x41, 0x80, 0x00, 0x00, 0x01, 0x01, 0x13, 0x5a, 0x52, 0x91, 0x10};
// An ALAC configuration: 4096 samples a frame, 16 bits, stereo, 48 kHz.
const std::uint8_t kAlac[] = {0x00, 0x00, 0x10, 0x00, 0x00, 0x10, 0x28, 0x0a,
                              0x0e, 0x02, 0x00, 0xff, 0x00, 0x00, 0x40, 0x04,
                              0x00, 0x17, 0x70, 0x00, 0x00, 0x00, 0xbb, 0x80};

RefTrack track(const char (&handler)[5], const char (&codec)[5], std::uint32_t fixed,
               std::uint32_t timescale = 1000, std::uint32_t duration = 40) {
    RefTrack t;
    t.handler = fourcc(handler);
    t.codec = fourcc(codec);
    t.timescale = timescale;
    t.sampleDuration = duration;
    t.fixedSampleSize = fixed;
    t.maxSampleSize = fixed ? fixed : 4096;
    return t;
}

// A one-entry stsd of a visual (16x16) or sound (stereo, 16 bits, 48 kHz) entry, with a
// child box of the given type and payload ("" for none).
Bytes stsd(const char* type, bool visual, const char* child = "", const Bytes& payload = {}) {
    return camlayout::oneEntryStsd(type, visual, visual ? 16 : 2, visual ? 16 : 48000,
                                   *child ? camlayout::box(child, payload) : Bytes{});
}

// One track of each of the less common codecs (ProRes, Motion JPEG, MPEG-4 Part 2, MPEG-2, DV,
// AC-3, E-AC-3, ALAC, 8-bit PCM); its codecs learn from a tiny MPEG-4 and MPEG-2 picture.
Reference codecCamera() {
    Bytes alac = {0, 0, 0, 0};
    alac.insert(alac.end(), kAlac, kAlac + sizeof kAlac);
    std::vector<RefTrack> t = {
        track("vide", "apcn", 0, 48000, 1920),      track("vide", "jpeg", 0, 48000, 1920),
        track("vide", "mp4v", 0, 48000, 1920),      track("vide", "xdv7", 0, 48000, 1920),
        track("vide", "dvcp", 120000, 48000, 1920), track("soun", "ac-3", 0, 48000, 1920),
        track("soun", "ec-3", 0, 48000, 1920),      track("soun", "alac", 0, 48000, 1920),
        track("soun", "raw ", 1, 48000, 1920)};
    const Bytes entries[] = {
        stsd("apcn", true),
        stsd("jpeg", true),
        camlayout::oneEntryStsd("mp4v", true, 16, 16,
                                camlayout::esdsBox(0x20, Bytes(kVol, kVol + sizeof kVol))),
        stsd("xdv7", true),
        stsd("dvcp", true),
        stsd("ac-3", false, "dac3", {0x10, 0x3d, 0x40}),
        stsd("ec-3", false, "dec3", {0x06, 0x00, 0x20, 0x0f, 0x00}),
        stsd("alac", false, "alac", alac),
        stsd("raw ", false)};
    t[2].firstSamples = {{0, sizeof kVop}};
    t[3].firstSamples = {{sizeof kVop, sizeof kMpeg2Picture}};
    t[8].sound = SoundInfo{0, 1, 8, 0, 0, 0, 48000};
    for (std::size_t i = 0; i < t.size(); ++i) {
        t[i].stsd = entries[i];
        t[i].maxSampleSize = t[i].fixedSampleSize ? t[i].fixedSampleSize : 8192;
        for (std::uint64_t cycle = 0; cycle < 4; ++cycle) {
            t[i].chunks.push_back({cycle * 4000 + i * 400, i == 8 ? 100u : 2u});
        }
    }
    Reference ref;
    ref.tracks = std::move(t);
    return ref;
}

Bytes codecCameraSamples() {
    Bytes b(kVop, kVop + sizeof kVop);
    b.insert(b.end(), kMpeg2Picture, kMpeg2Picture + sizeof kMpeg2Picture);
    return b;
}

// A camera with one track of every kind the engine knows, laid out V A P M T repeating.
Reference camera() {
    Reference ref;
    RefTrack v = track("vide", "avc1", 0);
    v.decoderConfig.assign(kAvcC, kAvcC + sizeof kAvcC);
    RefTrack a = track("soun", "mp4a", 0);
    a.decoderConfig.assign(kEsds, kEsds + sizeof kEsds);
    RefTrack p = track("soun", "twos", 4);
    p.sound = SoundInfo{0, 2, 16, 0, 0, 0, 48000};
    RefTrack k = track("meta", "gpmd", 0);
    k.firstSamples = {{0, 12}, {12, 16}};
    RefTrack m = track("meta", "mebx", 0);
    m.firstSamples = {{28, 12}, {40, 12}};
    RefTrack tc = track("tmcd", "tmcd", 4);
    std::uint64_t at = 0;
    for (int i = 0; i < 4; ++i) {
        v.chunks.push_back({at, 2});
        a.chunks.push_back({at + 1000, 3});
        p.chunks.push_back({at + 2000, 1600 + static_cast<std::uint32_t>(i % 2)});
        k.chunks.push_back({at + 9000, 1});
        m.chunks.push_back({at + 9100, 2});
        at += 10000;
    }
    tc.chunks.push_back({at, 1});
    ref.tracks = {v, a, p, k, m, tc};
    return ref;
}

bool walkValid(const WalkResult& walk, std::uint64_t begin, std::uint64_t limit) {
    if (walk.dataEnd > limit || walk.accountedBytes() > limit - begin) {
        return false;
    }
    for (const auto& t : walk.tracks) {
        std::uint64_t samples = 0;
        for (const auto& c : t.chunks) {
            samples += c.samples;
            if (c.offset < begin || c.offset >= limit || c.samples == 0) {
                return false;
            }
        }
        if (samples != t.samples || (!t.sizes.empty() && t.sizes.size() != t.samples)) {
            return false;
        }
    }
    return true;
}

// The written moov is one box whose children parse to its end.
bool moovValid(const std::vector<std::uint8_t>& moov) {
    MemorySource src(moov.data(), moov.size());
    const auto box = readBoxHeader(src, 0, moov.size());
    return box && box->end == moov.size() && !box->runsPastEnd;
}

bool repairAgainst(const Reference& ref, const ByteSource& refBytes, const ByteSource& broken) {
    Engine engine(ref, refBytes, Options{});
    MediaData media;
    try {
        media = findMediaData(broken);
    } catch (const RepairError&) {
        media.begin = 0;
        media.end = broken.size();
        media.cut = true;
    }
    const WalkResult walk = engine.walk(broken, media);
    if (!walkValid(walk, media.begin, std::min(media.end, broken.size()))) {
        return false;
    }
    Reference out = ref;
    if (out.mvhd.empty()) {
        out.mvhd.assign(108, 0);
        out.mvhd[3] = 108;
    }
    for (auto& t : out.tracks) {
        t.tkhd.resize(std::max<std::size_t>(t.tkhd.size(), 92));
        t.mdhd.resize(std::max<std::size_t>(t.mdhd.size(), 32));
    }
    return moovValid(buildMoov(out, engine.outputTracks(walk, 0)));
}

// A file's own index keeps whole samples inside the media data only, and its tables agree
// on the count of what was kept.
bool ownTrackValid(const OwnTrack& o, const MediaData& media) {
    const TrackTables& t = o.tables;
    std::uint64_t inChunks = 0;
    for (std::size_t i = 0; i < t.chunkOffsets.size(); ++i) {
        inChunks += t.chunkSamples[i];
        if (t.chunkOffsets[i] < media.begin || t.chunkOffsets[i] >= media.end ||
            t.chunkSamples[i] == 0) {
            return false;
        }
    }
    std::uint64_t timed = 0;
    for (const auto& [count, delta] : t.durations) {
        timed += count;
    }
    const bool syncInside = std::all_of(t.syncSamples.begin(), t.syncSamples.end(),
                                        [&](auto s) { return s >= 1 && s <= t.sampleCount; });
    return t.sampleCount <= o.complete && o.complete <= o.listed && inChunks == t.sampleCount &&
           timed == t.sampleCount && (t.sizes.empty() || t.sizes.size() == t.sampleCount) &&
           (t.compositionOffsets.empty() || t.compositionOffsets.size() == t.sampleCount) &&
           syncInside && o.keptEnd <= media.end;
}

bool ownIndexValid(OwnIndex own) {
    for (const auto& t : own.tracks) {
        if (!ownTrackValid(t, own.media)) {
            return false;
        }
    }
    if (own.keptEnd() < own.media.begin || own.keptEnd() > own.media.end) {
        return false;
    }
    if (own.ref.mvhd.empty()) {
        own.ref.mvhd.assign(108, 0);
        own.ref.mvhd[3] = 108;
    }
    return moovValid(buildMoov(own.ref, ownTracksOut(own, 0)));
}

} // namespace

bool fuzzOne(const std::uint8_t* data, std::size_t size) {
    av_log_set_level(AV_LOG_QUIET);
    MemorySource src(data, size);
    MemorySource learnt(kLearnt, sizeof kLearnt);
    bool ok = repairAgainst(camera(), learnt, src);
    if (const auto own = readOwnIndex(src)) {
        ok = ownIndexValid(*own) && ok;
    }
    const Bytes pictures = codecCameraSamples();
    MemorySource firstPictures(pictures.data(), pictures.size());
    ok = repairAgainst(codecCamera(), firstPictures, src) && ok;
    try {
        const Reference ref = readReference(src);
        ok = repairAgainst(ref, src, src) && ok;
    } catch (const RepairError&) {
    }
    return ok;
}
