#include "FuzzCodecs.h"

#include "box/Endian.h"

using namespace repair;

namespace {

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

using Bytes = std::vector<std::uint8_t>;

Bytes box(const char (&type)[5], const Bytes& payload) {
    Bytes b;
    putBe32(b, static_cast<std::uint32_t>(payload.size() + 8));
    putBe32(b, fourcc(type));
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

// A one-entry stsd of a visual (16x16) or sound (stereo, 16 bits, 48 kHz) entry.
Bytes stsd(const char (&type)[5], bool visual, const Bytes& children) {
    Bytes entry(8, 0);
    entry[7] = 1; // data reference index
    if (visual) {
        entry.resize(8 + 16, 0);
        putBe16(entry, 16);
        putBe16(entry, 16);
        entry.resize(78, 0);
    } else {
        entry.resize(8 + 8, 0);
        putBe16(entry, 2);
        putBe16(entry, 16);
        putBe32(entry, 0);
        putBe32(entry, 48000u << 16);
    }
    entry.insert(entry.end(), children.begin(), children.end());
    Bytes payload(4, 0);
    putBe32(payload, 1);
    const Bytes e = box(type, entry);
    payload.insert(payload.end(), e.begin(), e.end());
    return box("stsd", payload);
}

Bytes esds(std::uint8_t objectType, const std::uint8_t* config, std::size_t size) {
    Bytes dc = {
        objectType, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, static_cast<std::uint8_t>(size)};
    dc.insert(dc.end(), config, config + size);
    Bytes es = {0, 1, 0, 0x04, static_cast<std::uint8_t>(dc.size())};
    es.insert(es.end(), dc.begin(), dc.end());
    Bytes payload = {0, 0, 0, 0, 0x03, static_cast<std::uint8_t>(es.size())};
    payload.insert(payload.end(), es.begin(), es.end());
    return box("esds", payload);
}

RefTrack track(const char (&handler)[5], const char (&codec)[5], std::uint32_t fixed, Bytes entry) {
    RefTrack t;
    t.handler = fourcc(handler);
    t.codec = fourcc(codec);
    t.timescale = 48000;
    t.sampleDuration = 1920;
    t.fixedSampleSize = fixed;
    t.maxSampleSize = fixed ? fixed : 8192;
    t.stsd = std::move(entry);
    return t;
}

} // namespace

const std::vector<std::uint8_t>& codecCameraSamples() {
    static const Bytes samples = [] {
        Bytes b(kVop, kVop + sizeof kVop);
        b.insert(b.end(), kMpeg2Picture, kMpeg2Picture + sizeof kMpeg2Picture);
        return b;
    }();
    return samples;
}

Reference codecCamera() {
    Reference ref;
    Bytes alacBox = {0, 0, 0, 0};
    alacBox.insert(alacBox.end(), kAlac, kAlac + sizeof kAlac);
    std::vector<RefTrack> t = {
        track("vide", "apcn", 0, stsd("apcn", true, {})),
        track("vide", "jpeg", 0, stsd("jpeg", true, {})),
        track("vide", "mp4v", 0, stsd("mp4v", true, esds(0x20, kVol, sizeof kVol))),
        track("vide", "xdv7", 0, stsd("xdv7", true, {})),
        track("vide", "dvcp", 120000, stsd("dvcp", true, {})),
        track("soun", "ac-3", 0, stsd("ac-3", false, box("dac3", {0x10, 0x3d, 0x40}))),
        track("soun", "ec-3", 0, stsd("ec-3", false, box("dec3", {0x06, 0x00, 0x20, 0x0f, 0x00}))),
        track("soun", "alac", 0, stsd("alac", false, box("alac", alacBox))),
        track("soun", "raw ", 1, stsd("raw ", false, {})),
    };
    t[2].firstSamples = {{0, sizeof kVop}};
    t[3].firstSamples = {{sizeof kVop, sizeof kMpeg2Picture}};
    t[8].sound = SoundInfo{0, 1, 8, 0, 0, 0, 48000};
    for (std::uint64_t cycle = 0; cycle < 4; ++cycle) {
        for (std::size_t i = 0; i < t.size(); ++i) {
            t[i].chunks.push_back({cycle * 4000 + i * 400, i == 8 ? 100u : 2u});
        }
    }
    ref.tracks = std::move(t);
    return ref;
}
