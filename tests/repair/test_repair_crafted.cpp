// Crafted inputs too large or too odd to record: fast-start sample tables, honest and lying
// (counts past their box or in the billions, chunk numbers going back, offsets outside the
// media), each read to exactly the whole samples in little memory; a terabyte of zeros found
// without reading it; results past 4 GB written with 64-bit offsets and mdat sizes.
#include "BoxBuilder.h"
#include "Check.h"
#include "CraftedFile.h"
#include "OwnIndex.h"
#include "box/Box.h"
#include "box/Endian.h"
#include "box/ZeroRun.h"
#include "write/MoovWriter.h"
#include "write/OutputFile.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>
#include <optional>
#include <vector>

using namespace repair;

namespace {

std::size_t gLargest = 0; // largest single allocation since the last reset

} // namespace

void* operator new(std::size_t n) {
    gLargest = std::max(gLargest, n);
    if (void* p = std::malloc(n ? n : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

constexpr std::uint32_t kLie = 0xFFFFFFFF;

CraftedTrack honest() {
    CraftedTrack t;
    t.sizes = {100, 200, 300, 400, 500};
    t.chunks = {0, 600};
    t.stsc = {{1, 3, 1}, {2, 2, 1}};
    t.stts = {{5, 3000}};
    return t;
}

template <typename F> CraftedTrack with(F change) {
    CraftedTrack t = honest();
    change(t);
    return t;
}

// One chunk said to hold four billion samples of `size` bytes each.
CraftedTrack billions(std::uint32_t size) {
    return with([size](CraftedTrack& t) {
        t.stszSize = size;
        t.sizes.clear();
        t.stszCount = kLie;
        t.chunks = {0};
        t.stsc = {{1, kLie, 1}};
        t.stts = {{kLie, 1}};
        t.ctts = Pairs{{kLie, 2}};
    });
}

struct Expect {
    std::uint64_t listed, complete, kept;
    std::vector<std::uint32_t> chunkSamples;
    Pairs durations;
    std::size_t compositionOffsets = 0;
    std::vector<std::uint32_t> sync = {};
    bool allSync = true;
};

struct TableCase {
    const char* name;
    CraftedTrack tables;
    std::uint64_t held; // media bytes in the file
    Expect expect;
    std::uint64_t fileSize = 0; // > 0: a file this large, zeros after the crafted bytes
};

std::vector<TableCase> tableCases() {
    return {
        {"honest, all there", honest(), 1500, {5, 5, 5, {3, 2}, {{5, 3000}}}},
        {"honest, cut inside sample 4", honest(), 700, {5, 3, 3, {3}, {{3, 3000}}}},
        {"honest, cut inside sample 2", honest(), 150, {5, 1, 1, {1}, {{1, 3000}}}},
        {"stsz count past its box",
         with([](CraftedTrack& t) { t.stszCount = kLie; }),
         1500,
         {5, 5, 5, {3, 2}, {{5, 3000}}}},
        {"stco count past its box",
         with([](CraftedTrack& t) { t.chunkCount = kLie; }),
         1500,
         {5, 5, 5, {3, 2}, {{5, 3000}}}},
        {"stts count past its box, stts short",
         with([](CraftedTrack& t) {
             t.stts = {{2, 3000}, {1, 1500}};
             t.sttsCount = kLie;
         }),
         1500,
         {5, 5, 5, {3, 2}, {{2, 3000}, {3, 1500}}}},
        {"stsc first chunks going back",
         with([](CraftedTrack& t) {
             t.stsc.assign(1000, {1, 2, 1});
             t.chunks = {0, 300, 1000};
         }),
         1500,
         {5, 5, 5, {2, 2, 1}, {{5, 3000}}}},
        {"chunk offset before the media data",
         with([](CraftedTrack& t) {
             t.chunks = {-50, 600};
         }),
         1500,
         {5, 4, 0, {}, {}}},
        {"chunk offset near 2^64",
         with([](CraftedTrack& t) {
             t.co64 = true;
             t.chunks = {0};
             t.farChunk = 0xFFFFFFFFFFFFFF00ull;
         }),
         1500,
         {5, 3, 3, {3}, {{3, 3000}}}},
        {"composition and sync past the cut",
         with([](CraftedTrack& t) {
             t.ctts = Pairs{{1, 3000}, {kLie, 6000}};
             t.stss = std::vector<std::uint32_t>{0, 1, 3, 5, 99};
             t.stssCount = kLie;
         }),
         700,
         {5, 3, 3, {3}, {{3, 3000}}, 3, {1, 3}, false}},
        {"four billion samples in one chunk",
         billions(4),
         4002,
         {kLie, 1000, 1000, {1000}, {{1000, 1}}, 1000}},
        {"billions of 1-byte samples held",
         billions(1),
         0,
         {kLie, kLie, kLie, {kLie}, {{kLie, 1}}, 0},
         1ull << 40},
        {"QuickTime sound: sample size 1 counts frames",
         with([](CraftedTrack& t) {
             t.sound = true;
             t.stszSize = 1;
             t.sizes.clear();
             t.stszCount = 1000;
             t.chunks = {0};
             t.stsc = {{1, 1000, 1}};
             t.stts = {{1000, 1}};
         }),
         2002,
         {1000, 500, 500, {500}, {{500, 1}}}},
        {"no chunk offsets",
         with([](CraftedTrack& t) { t.chunks.clear(); }),
         1500,
         {0, 0, 0, {}, {}}},
    };
}

void tableCase(Checks& c, const TableCase& t) {
    const std::string name = t.name;
    const auto bytes = craftFile(t.tables, t.held);
    const MemorySource small(bytes.data(), bytes.size());
    const HugeSource huge(bytes, t.fileSize);
    const ByteSource& src = t.fileSize ? static_cast<const ByteSource&>(huge) : small;
    gLargest = 0;
    const auto own = readOwnIndex(src);
    const std::size_t largest = gLargest;
    c.expect(largest < (64u << 10),
             name + ": no allocation beyond 64 KiB, largest " + std::to_string(largest));
    c.equal(own.has_value(), t.expect.listed > 0, name + ": read as a file with its own index");
    if (!own || own->tracks.size() != 1) {
        return;
    }
    const OwnTrack& o = own->tracks[0];
    const Expect& e = t.expect;
    c.equal(o.listed, e.listed, name + ": samples listed");
    c.equal(o.complete, e.complete, name + ": samples complete");
    c.equal(o.tables.sampleCount, e.kept, name + ": samples kept");
    c.expect(o.tables.chunkSamples == e.chunkSamples, name + ": kept chunks");
    c.expect(o.tables.durations == e.durations, name + ": durations");
    c.equal(o.tables.compositionOffsets.size(), e.compositionOffsets,
            name + ": composition offsets");
    c.expect(o.tables.syncSamples == e.sync && o.tables.allSync == e.allSync,
             name + ": sync samples");
    c.equal(o.tables.sizes.size(), o.tables.fixedSize ? 0 : e.kept, name + ": sizes kept");
    c.equal(own->cut(), e.complete < e.listed, name + ": cut");
    std::uint64_t end = own->media.begin;
    for (std::size_t i = 0; i < o.tables.chunkOffsets.size(); ++i) {
        c.expect(o.tables.chunkOffsets[i] >= own->media.begin, name + ": chunk inside the media");
        end = std::max(end, o.tables.chunkOffsets[i]);
    }
    c.expect(own->keptEnd() >= end && own->keptEnd() <= own->media.end,
             name + ": kept bytes inside the media data");
}

// Which files count as carrying their own index at all.
struct LayoutCase {
    const char* name;
    bool moovFirst;
    bool moovCut;
    bool hasIndex;
};

const LayoutCase kLayouts[] = {
    {"moov before the media data", true, false, true},
    {"moov after the media data", false, false, false},
    {"moov before, cut inside", true, true, false},
};

void layoutCase(Checks& c, const LayoutCase& t) {
    const CraftedTrack tables = honest();
    std::vector<std::uint8_t> f = craftFile(tables, 1500);
    if (!t.moovFirst) {
        // ftyp, mdat of 1500 bytes, then the moov.
        camlayout::BoxBuilder g;
        g.append(f);
        g.bytes().resize(16); // the ftyp
        g.begin("mdat");
        g.bytes().insert(g.bytes().end(), f.end() - 1500, f.end());
        g.end();
        g.append(craftMoov(tables, 24));
        f = g.bytes();
    }
    if (t.moovCut) {
        f[17] = 0xFF; // moov size far past the end of the file
    }
    const MemorySource src(f.data(), f.size());
    c.equal(readOwnIndex(src).has_value(), t.hasIndex, std::string(t.name) + ": own index");
}

// A version 1 ctts with negative offsets: kept as they are, written back as version 1, and
// the track lasts as long as its samples, not four billion ticks.
void negativeOffsets(Checks& c) {
    CraftedTrack t = honest();
    t.ctts = Pairs{{1, 0}, {4, static_cast<std::uint32_t>(-3000)}};
    t.cttsVersion = 1;
    const auto bytes = craftFile(t, 1500);
    const MemorySource src(bytes.data(), bytes.size());
    const auto own = readOwnIndex(src);
    c.expect(own && own->tracks.size() == 1, "negative offsets: read");
    if (!own || own->tracks.size() != 1) {
        return;
    }
    const auto& offsets = own->tracks[0].tables.compositionOffsets;
    c.expect(offsets.size() == 5 && offsets[0] == 0 &&
                 static_cast<std::int32_t>(offsets[4]) == -3000,
             "negative offsets: kept as they are");
    const auto moov = buildMoov(own->ref, ownTracksOut(*own, 0));
    const MemorySource m(moov.data(), moov.size());
    const auto root = readBoxHeader(m, 0, moov.size());
    const auto trak = findChild(m, root->payload, root->end, fourcc("trak"));
    const auto ctts =
        findPath(m, *trak, {fourcc("mdia"), fourcc("minf"), fourcc("stbl"), fourcc("ctts")});
    const auto tkhd = findChild(m, trak->payload, trak->end, fourcc("tkhd"));
    c.expect(ctts && moov[ctts->payload] == 1, "negative offsets: ctts version 1");
    c.equal(tkhd ? be32(moov.data() + tkhd->offset + 28) : 0u, 166u,
            "negative offsets: track duration 5 x 3000 / 90000 s in milliseconds");
    // The same moved past 4 GB: 64-bit chunk offsets, and a 64-bit mdat size from there on.
    const auto far = buildMoov(own->ref, ownTracksOut(*own, 5ull << 30));
    const MemorySource f(far.data(), far.size());
    const auto farTrak = findChild(f, 8, far.size(), fourcc("trak"));
    c.expect(farTrak && findPath(f, *farTrak,
                                 {fourcc("mdia"), fourcc("minf"), fourcc("stbl"), fourcc("co64")}),
             "offsets past 4 GB: co64");
    c.equal(mdatHeaderSize(0xfffffff7ull), std::uint64_t{8}, "largest 32-bit mdat");
    c.equal(mdatHeaderSize(0xfffffff8ull), std::uint64_t{16}, "one byte more: 64-bit mdat size");
}

// A file of `size` bytes: data in the given ranges, zeros elsewhere; counts what is read.
class Striped : public ByteSource {
public:
    Striped(std::uint64_t size, std::vector<std::pair<std::uint64_t, std::uint64_t>> data)
        : size_(size), data_(std::move(data)) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const override {
        const auto n = static_cast<std::size_t>(
            std::min<std::uint64_t>(count, offset < size_ ? size_ - offset : 0));
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t at = offset + i;
            out[i] = std::any_of(data_.begin(), data_.end(),
                                 [at](const auto& d) { return at >= d.first && at < d.second; })
                         ? 0xAB
                         : 0;
        }
        read_ += n;
        return n;
    }
    std::uint64_t bytesRead() const { return read_; }

private:
    std::uint64_t size_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> data_;
    mutable std::uint64_t read_ = 0;
};

struct FarCase {
    const char* name;
    std::uint64_t size;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> data;
    std::uint64_t zeros;
};

// Runs far longer than the media: found without reading them whole, and not stopped by
// zeros amid the media.
void farZeros(Checks& c) {
    constexpr std::uint64_t MiB = 1u << 20;
    constexpr std::uint64_t TiB = MiB << 20;
    const FarCase cases[] = {
        {"a terabyte of zeros", 10 * MiB + TiB, {{0, 10 * MiB + 7}}, TiB - 7},
        {"just past what is read whole", 80 * MiB, {{0, 80 * MiB - 64 * MiB - 5}}, 64 * MiB + 5},
        {"zeros amid the media", 300 * MiB + TiB, {{0, 100 * MiB}, {108 * MiB, 300 * MiB}}, TiB},
        {"a long stretch of zeros amid the media",
         300 * MiB + TiB,
         {{0, 40 * MiB}, {200 * MiB + 3, 300 * MiB}},
         TiB},
        {"nothing but zeros", TiB, {}, TiB},
        {"data to the end", TiB, {{0, TiB}}, 0},
    };
    for (const auto& t : cases) {
        const Striped src(t.size, t.data);
        c.equal(repair::trailingZeros(src, 0, t.size), t.zeros, std::string("far: ") + t.name);
        c.expect(src.bytesRead() <= 128 * MiB, std::string("far: ") + t.name + ": read " +
                                                   std::to_string(src.bytesRead() / MiB) + " MiB");
    }
}

} // namespace

int main() {
    Checks c;
    for (const auto& t : tableCases()) {
        tableCase(c, t);
    }
    for (const auto& t : kLayouts) {
        layoutCase(c, t);
    }
    negativeOffsets(c);
    farZeros(c);
    return c.finish();
}
