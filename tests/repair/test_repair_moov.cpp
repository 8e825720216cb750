// The written index: 32- or 64-bit chunk offsets and mdat sizes, ctts only with reordering,
// stss only when some samples are not sync, and a moov whose boxes nest to its end.
#include "Check.h"
#include "box/Box.h"
#include "box/Endian.h"
#include "write/MoovWriter.h"
#include "write/OutputFile.h"

#include <string>
#include <vector>

using namespace repair;

namespace {

std::vector<std::uint8_t> box(const char (&type)[5], std::size_t payload,
                              std::uint8_t version = 0) {
    std::vector<std::uint8_t> b;
    putBe32(b, static_cast<std::uint32_t>(8 + payload));
    putBe32(b, fourcc(type));
    b.resize(8 + payload);
    if (payload > 0) {
        b[8] = version;
    }
    return b;
}

Reference videoRef() {
    Reference ref;
    ref.mvhd = box("mvhd", 100);
    ref.mvhd[8 + 12 + 2] = 0x03; // timescale 1000
    ref.mvhd[8 + 12 + 3] = 0xe8;
    ref.movieTimescale = 1000;
    ref.moovOther = {box("udta", 12)};
    RefTrack t;
    t.handler = fourcc("vide");
    t.codec = fourcc("avc1");
    t.id = 7;
    t.tkhd = box("tkhd", 84);
    t.tkhd[8 + 12 + 3] = 7; // track_ID
    t.mdhd = box("mdhd", 24);
    t.timescale = 12800;
    t.sampleDuration = 512;
    t.trakBefore = {box("tref", 12)};
    t.mdiaOther = {box("hdlr", 25)};
    t.minfOther = {box("vmhd", 12), box("dinf", 28)};
    t.stsd = box("stsd", 8);
    ref.tracks.push_back(t);
    return ref;
}

std::vector<std::string> children(const std::vector<std::uint8_t>& moov,
                                  const std::vector<std::uint32_t>& path) {
    MemorySource src(moov.data(), moov.size());
    auto at = readBoxHeader(src, 0, moov.size());
    if (at && !path.empty()) {
        at = findPath(src, *at, path);
    }
    std::vector<std::string> out;
    for (const auto& b : at ? childBoxes(src, at->payload, at->end) : std::vector<BoxHeader>{}) {
        out.push_back(typeName(b.type));
    }
    return out;
}

struct MoovCase {
    const char* name;
    std::uint64_t firstOffset;
    std::vector<std::uint32_t> ctts;
    bool allSync;
    std::vector<std::string> expected;
};

const MoovCase kCases[] = {
    {"small file, no reordering", 48, {}, false, {"stsd", "stts", "stss", "stsz", "stsc", "stco"}},
    {"over 4 GB", 5ull << 30, {}, false, {"stsd", "stts", "stss", "stsz", "stsc", "co64"}},
    {"B-frames", 48, {1, 3, 0, 0}, false, {"stsd", "stts", "ctts", "stss", "stsz", "stsc", "stco"}},
    {"all sync", 48, {}, true, {"stsd", "stts", "stsz", "stsc", "stco"}},
};

TrackOut videoOut(const Reference& ref, std::uint64_t firstOffset) {
    TrackOut out;
    out.ref = &ref.tracks[0];
    out.tables.sizes = {100, 50, 20, 20};
    out.tables.sampleCount = 4;
    out.tables.durations = {{4, 512}};
    out.tables.chunkOffsets = {firstOffset, firstOffset + 1000};
    out.tables.chunkSamples = {2, 2};
    return out;
}

// Boxes of the reference that do not describe samples come along, in their places, and
// the durations are those of what came back.
void keptBoxes(Checks& c) {
    const Reference ref = videoRef();
    const auto moov = buildMoov(ref, {videoOut(ref, 48)});
    c.expect(children(moov, {}) == std::vector<std::string>{"mvhd", "trak", "udta"},
             "moov keeps udta after the tracks");
    c.expect(children(moov, {fourcc("trak")}) == std::vector<std::string>{"tkhd", "tref", "mdia"},
             "trak keeps tref");
    c.expect(children(moov, {fourcc("trak"), fourcc("mdia"), fourcc("minf")}) ==
                 std::vector<std::string>{"vmhd", "dinf", "stbl"},
             "minf keeps its media header and dinf");
    MemorySource src(moov.data(), moov.size());
    const auto tkhd =
        findPath(src, *readBoxHeader(src, 0, moov.size()), {fourcc("trak"), fourcc("tkhd")});
    const auto b = src.bytes(tkhd->payload, 24);
    c.equal(be32(b.data() + 12), 7u, "track id kept");
    c.equal(be32(b.data() + 20), 160u, "tkhd duration: 4 x 512 / 12800 s in milliseconds");
}

} // namespace

int main() {
    Checks c;
    const Reference ref = videoRef();
    for (const auto& t : kCases) {
        TrackOut out = videoOut(ref, t.firstOffset);
        out.tables.allSync = t.allSync;
        out.tables.syncSamples =
            t.allSync ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{1};
        out.tables.compositionOffsets = t.ctts;
        const auto stbl = children(buildMoov(ref, {out}), {fourcc("trak"), fourcc("mdia"),
                                                           fourcc("minf"), fourcc("stbl")});
        c.expect(stbl == t.expected, std::string(t.name) + ": stbl children");
    }
    keptBoxes(c);
    c.equal(mdatHeaderSize(1ull << 30), std::uint64_t{8}, "1 GB payload: 32-bit mdat size");
    c.equal(mdatHeaderSize(0xfffffff7ull), std::uint64_t{8}, "largest 32-bit mdat");
    c.equal(mdatHeaderSize(0xfffffff8ull), std::uint64_t{16}, "one byte more: 64-bit mdat size");
    return c.finish();
}
