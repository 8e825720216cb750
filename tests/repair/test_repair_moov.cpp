// The written index: 32- or 64-bit chunk offsets and mdat sizes, ctts only with reordering,
// stss only when some samples are not sync, and a moov whose boxes nest to its end.
#include "Box.h"
#include "Check.h"
#include "Endian.h"
#include "MoovWriter.h"
#include "OutputFile.h"

#include <string>
#include <vector>

using namespace repair;

namespace {

RefTrack videoRef() {
    RefTrack t;
    t.handler = fourcc("vide");
    t.codec = fourcc("avc1");
    t.tkhdTail.assign(60, 0);
    t.timescale = 12800;
    t.sampleDuration = 512;
    const std::vector<std::uint8_t> hdlr = {0, 0, 0, 8, 'h', 'd', 'l', 'r'};
    const std::vector<std::uint8_t> stsd = {0, 0, 0, 16, 's', 't', 's', 'd',
                                            0, 0, 0, 0,  0,   0,   0,   0};
    t.hdlr = hdlr;
    t.stsd = stsd;
    return t;
}

std::vector<std::string> stblChildren(const std::vector<std::uint8_t>& moov, bool& nested) {
    MemorySource src(moov.data(), moov.size());
    const auto root = readBoxHeader(src, 0, moov.size());
    nested = root && root->end == moov.size() && root->type == fourcc("moov");
    std::vector<std::string> out;
    if (!nested) {
        return out;
    }
    const auto trak = findChild(src, root->payload, root->end, fourcc("trak"));
    const auto stbl = trak ? findPath(src, *trak, {fourcc("mdia"), fourcc("minf"), fourcc("stbl")})
                           : std::nullopt;
    nested = stbl.has_value();
    if (stbl) {
        for (const auto& b : childBoxes(src, stbl->payload, stbl->end)) {
            out.push_back(typeName(b.type));
        }
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

} // namespace

int main() {
    Checks c;
    const RefTrack ref = videoRef();
    for (const auto& t : kCases) {
        TrackOut out;
        out.ref = &ref;
        out.tables.sizes = {100, 50, 20, 20};
        out.tables.chunkOffsets = {t.firstOffset, t.firstOffset + 1000};
        out.tables.chunkSamples = {2, 2};
        out.tables.allSync = t.allSync;
        out.tables.syncSamples =
            t.allSync ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{1};
        out.tables.compositionOffsets = t.ctts;
        bool nested = false;
        const auto children = stblChildren(buildMoov(1000, {out}), nested);
        c.expect(nested, std::string(t.name) + ": boxes nest");
        c.expect(children == t.expected, std::string(t.name) + ": stbl children");
    }
    c.equal(mdatHeaderSize(1ull << 30), std::uint64_t{8}, "1 GB payload: 32-bit mdat size");
    c.equal(mdatHeaderSize(0xfffffff7ull), std::uint64_t{8}, "largest 32-bit mdat");
    c.equal(mdatHeaderSize(0xfffffff8ull), std::uint64_t{16}, "one byte more: 64-bit mdat size");
    return c.finish();
}
