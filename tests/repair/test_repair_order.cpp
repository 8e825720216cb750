// Display order to composition offsets, output tables, and the chunk layout learnt from
// a reference.
#include "Check.h"
#include "Composition.h"
#include "Layout.h"
#include "SampleTables.h"

#include <vector>

using namespace repair;

namespace {

struct OrderCase {
    const char* name;
    std::vector<PictureOrder> pictures;
    std::vector<std::uint32_t> offsets;
};

const OrderCase kOrder[] = {
    {"no reordering", {{0, true}, {2, false}, {4, false}}, {}},
    // I P B B: shown I B B P.
    {"one P and two B", {{0, true}, {6, false}, {2, false}, {4, false}}, {1, 3, 0, 0}},
    // B-pyramid: I P B(ref) b b, shown I b B b P.
    {"pyramid", {{0, true}, {8, false}, {4, false}, {2, false}, {6, false}}, {2, 5, 2, 0, 1}},
    // Order restarts at each IDR, so a new period never displays before the old one.
    {"two IDR periods",
     {{0, true}, {4, false}, {2, false}, {0, true}, {4, false}, {2, false}},
     {1, 2, 0, 1, 2, 0}},
    // A cut that lost the B pictures of the last group keeps the rest in order.
    {"cut group", {{0, true}, {6, false}, {2, false}, {4, false}, {12, false}}, {1, 3, 0, 0, 1}},
};

void order(Checks& c) {
    for (const auto& t : kOrder) {
        const auto got = compositionOffsets(t.pictures);
        c.expect(got == t.offsets, std::string("ctts: ") + t.name);
    }
}

void tables(Checks& c) {
    RecoveredTrack pcm; // two chunks of 1602 and 1601 four-byte frames
    pcm.chunks = {{100, 1602}, {20000, 1601}};
    pcm.fixedSize = 4;
    pcm.samples = 3203;
    const TrackTables a = buildTables(pcm, 1000, 0);
    c.expect(a.chunkOffsets == std::vector<std::uint64_t>{1100, 21000}, "pcm chunk offsets");
    c.expect(a.sizes.empty() && a.fixedSize == 4 && a.sampleCount == 3203,
             "pcm kept per chunk: one size, no table");
    c.equal(buildTables(pcm, 0, 1).fixedSize, 1u, "the reference's stsz size is kept");
    RecoveredTrack video;
    video.chunks = {{0, 2}, {300, 1}};
    video.sizes = {100, 50, 10};
    video.samples = 3;
    video.allSync = false;
    video.syncSamples = {1, 3};
    const TrackTables v = buildTables(video, -100, 0);
    c.expect(v.chunkOffsets == std::vector<std::uint64_t>{static_cast<std::uint64_t>(-100), 200},
             "video chunk offsets moved");
    c.expect(v.syncSamples == std::vector<std::uint32_t>{1, 3} && !v.allSync, "video sync samples");
}

RefTrack laidOut(std::vector<RefChunk> chunks) {
    RefTrack t;
    t.chunks = std::move(chunks);
    return t;
}

// File order: [tmcd 4 B] V(2) A(1602) M(2) V(2) A(1601) M(2) V(2) A(1602) M(2) ...
std::vector<RefTrack> cameraLayout(int cycles) {
    std::vector<RefChunk> v, a, m;
    const std::uint32_t pattern[] = {1602, 1601, 1602, 1601, 1602};
    std::uint64_t at = 4;
    for (int i = 0; i < cycles; ++i) {
        v.push_back({at, 2});
        at += 5000;
        const std::uint32_t n = pattern[i % 5];
        a.push_back({at, n});
        at += n * 4;
        m.push_back({at, 2});
        at += 2 * 64;
    }
    return {laidOut(v), laidOut(a), laidOut(m), laidOut({{0, 1}})};
}

struct LayoutCase {
    const char* name;
    int track;
    std::uint64_t chunkIndex;
    std::uint32_t firstCount; // the count to try first
    std::vector<int> next;
};

void layout(Checks& c) {
    const Layout l(cameraLayout(21), {0, 4, 64, 4});
    const LayoutCase cases[] = {
        {"video then audio", 0, 0, 2, {1}},
        {"audio: 1602 first", 1, 0, 1602, {2}},
        {"audio: the pattern goes on", 1, 6, 1601, {2}},
        {"metadata then video", 2, 3, 2, {0}},
        {"timecode then video", 3, 0, 1, {0}},
    };
    for (const auto& t : cases) {
        const auto counts = l.countsFor(t.track, t.chunkIndex);
        c.expect(!counts.empty() && counts[0] == t.firstCount,
                 std::string("layout counts: ") + t.name);
        c.expect(l.successors(t.track) == t.next, std::string("layout successor: ") + t.name);
    }
    c.expect(l.firstTracks().front() == 3, "layout: the timecode opens the media data");
    c.equal(l.patternLength(1), std::size_t{5}, "layout: 1601/1602 pattern of five");
    c.equal(l.sampleBytes(1), 4u, "layout: bytes per PCM frame from the chunk extents");
    c.expect(l.knownCount(0, 2) && !l.knownCount(0, 3), "layout: known video counts");
    // A writer that states one byte per PCM sample in stsz: the extents tell the truth.
    c.equal(Layout(cameraLayout(21), {0, 1, 64, 4}).sampleBytes(1), 4u,
            "layout: stsz of 1 corrected by extents");
}

} // namespace

int main() {
    Checks c;
    order(c);
    tables(c);
    layout(c);
    return c.finish();
}
