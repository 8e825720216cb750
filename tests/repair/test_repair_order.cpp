// Display order to composition offsets, picture order counts, output tables, and the chunk layout
// learnt from a reference.
#include "Check.h"
#include "box/Endian.h"
#include "codec/Composition.h"
#include "codec/PicOrder.h"
#include "walk/Layout.h"
#include "write/SampleTables.h"

#include <vector>

using namespace repair;

namespace {

struct OrderCase {
    const char* name;
    std::vector<PictureOrder> pictures; // key, opens a period, key counts from 0 there
    OrderHints hints;
    std::vector<std::uint32_t> offsets;
};

constexpr OrderHints kNoHints{};

const OrderCase kOrder[] = {
    {"no reordering", {{0, true}, {2, false}, {4, false}}, kNoHints, {}},
    {"no reordering, the writer's delay", {{0, true}, {2, false}, {4, false}}, {0, 2}, {2, 2, 2}},
    // I P B B: shown I B B P.
    {"one P and two B", {{0, true}, {6, false}, {2, false}, {4, false}}, kNoHints, {1, 3, 0, 0}},
    // B-pyramid: I P B(ref) b b, shown I b B b P.
    {"pyramid",
     {{0, true}, {8, false}, {4, false}, {2, false}, {6, false}},
     kNoHints,
     {2, 5, 2, 0, 1}},
    // Order restarts at each IDR, so a new period never displays before the old one.
    {"two IDR periods",
     {{0, true}, {4, false}, {2, false}, {0, true}, {4, false}, {2, false}},
     kNoHints,
     {1, 2, 0, 1, 2, 0}},
    // The B pictures after the last P are lost: the P is still shown three frames on.
    {"cut after a P",
     {{0, true}, {6, false}, {2, false}, {4, false}, {12, false}},
     kNoHints,
     {1, 3, 0, 0, 3}},
    // Only I and P are left of the first group: the reference says how far keys step.
    {"cut in the first group", {{0, true}, {6, false}}, {2, 1}, {1, 3}},
    {"cut in the first group, no step known", {{0, true}, {6, false}}, {0, 1}, {1, 1}},
    // MPEG-2 open group: I2 B0 B1 P5 ..., the B pictures shown before the I are lost.
    {"leading pictures lost",
     {{0, true, true}, {3, false}, {1, false}, {2, false}, {2, true, true}},
     {1, 1},
     {1, 3, 0, 0, 3}},
    // A frame missing long before the end is not a cut: the pictures keep their ranks.
    {"gap among settled pictures",
     {{0, true}, {2, false}, {6, false}, {8, false}, {10, false}, {12, false}},
     kNoHints,
     {}},
    {"hole wider than a picture buffer", {{0, true}, {100, false}}, {2, -1}, {}},
};

void order(Checks& c) {
    for (const auto& t : kOrder) {
        const auto got = compositionOffsets(t.pictures, t.hints);
        c.expect(got == t.offsets, std::string("ctts: ") + t.name);
    }
}

// Slice headers in decode order and the picture order counts they give (8.2.1).
struct PocCase {
    const char* name;
    Sps sps;
    std::vector<SliceHeader> slices;
    std::vector<std::int64_t> counts;
};

Sps orderType(std::uint32_t type) {
    Sps s;
    s.pocType = type;
    s.log2MaxFrameNum = 4;
    return s;
}

// A slice of a frame: frame_num, reference or not, IDR, delta_pic_order_cnt[0].
SliceHeader frame(std::uint32_t frameNum, bool reference, bool idr = false, int delta = 0) {
    SliceHeader h;
    h.frameNum = frameNum;
    h.nalRefIdc = reference ? 1 : 0;
    h.idr = idr;
    h.deltaPoc[0] = delta;
    return h;
}

// An HEVC picture that anchors the count, by its pic_order_cnt_lsb (four bits here).
SliceHeader hevcPicture(std::uint32_t lsb, bool idrOrBla = false) {
    SliceHeader h;
    h.hevc = true;
    h.pocLsb = lsb;
    h.nalRefIdc = 1;
    h.idr = idrOrBla;
    return h;
}

// Type 1 as an I P B B encoder sets it: a reference frame every three, two frames a count.
Sps ipbbCycle() {
    Sps s = orderType(1);
    s.refFrameOffsets = {6};
    s.offsetForNonRefPic = -4;
    return s;
}

void pictureOrderCounts(Checks& c) {
    const PocCase cases[] = {
        {"type 2: a non-reference frame just before the next",
         orderType(2),
         {frame(0, true, true), frame(1, true), frame(2, false), frame(2, true)},
         {0, 2, 3, 4}},
        {"type 2: frame_num wraps",
         orderType(2),
         {frame(0, true, true), frame(15, true), frame(0, true), frame(0, true, true)},
         {0, 30, 32, 0}},
        {"type 1: I P B B",
         ipbbCycle(),
         {frame(0, true, true), frame(1, true), frame(2, false), frame(2, false, false, 2),
          frame(2, true)},
         {0, 6, 2, 4, 12}},
        {"HEVC: the lsb wraps, a BLA picture counts from zero",
         orderType(0),
         {hevcPicture(0, true), hevcPicture(6), hevcPicture(12), hevcPicture(2),
          hevcPicture(10, true)},
         {0, 6, 12, 18, 10}},
    };
    for (const auto& t : cases) {
        PocCounter poc;
        std::vector<std::int64_t> got;
        for (const auto& slice : t.slices) {
            got.push_back(poc.next(slice, t.sps));
        }
        c.expect(got == t.counts, std::string("picture order count: ") + t.name);
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

// A track of a short reference: handler, a sample's duration in its timescale, its chunks.
RefTrack timed(std::uint32_t handler, std::uint32_t timescale, std::uint32_t duration,
               std::vector<RefChunk> chunks) {
    RefTrack t = laidOut(std::move(chunks));
    t.handler = handler;
    t.timescale = timescale;
    t.sampleDuration = duration;
    return t;
}

// One second of a camera writing a chunk a second: video 25 fps, PCM, then the timecode.
std::vector<RefTrack> oneChunkEach() {
    return {timed(fourcc("vide"), 25000, 1000, {{0, 25}}),
            timed(fourcc("soun"), 48000, 1, {{100000, 48000}}),
            timed(fourcc("tmcd"), 25000, 1000, {{388000, 1}})};
}

// The same with the metadata first and no timecode.
std::vector<RefTrack> metadataFirst() {
    return {timed(fourcc("vide"), 25000, 1000, {{4000, 25}}),
            timed(fourcc("soun"), 48000, 1, {{104000, 48000}}),
            timed(fourcc("meta"), 25000, 1000, {{0, 25}})};
}

// 0.9 s of half-second chunks, 30 fps and AAC: the second chunk of each is cut short; 23 and
// 24 frames alternate in the recording (23.4 a chunk).
std::vector<RefTrack> halfSecondChunks() {
    return {timed(fourcc("vide"), 30, 1, {{0, 15}, {9000, 12}}),
            timed(fourcc("soun"), 48000, 1024, {{6000, 24}, {16000, 19}})};
}

struct ShortCase {
    const char* name;
    std::vector<RefTrack> (*reference)();
    int track;
    std::uint32_t firstCount;         // the count to try first
    std::vector<std::uint32_t> known; // counts the layout must know too
    std::vector<int> next;            // successors, likeliest first
};

// References too short to show a whole cycle twice.
void shortReference(Checks& c) {
    const ShortCase cases[] = {
        {"one chunk each: the video follows the sound", oneChunkEach, 1, 48000, {}, {2, 0}},
        {"one chunk each: the cycle starts again after the timecode",
         oneChunkEach,
         2,
         1,
         {},
         {0, 1}},
        {"metadata first: it follows the sound", metadataFirst, 1, 48000, {}, {2, 0}},
        {"metadata first: it never follows itself", metadataFirst, 2, 25, {}, {0, 1}},
        {"half-second chunks: the whole video chunk first", halfSecondChunks, 0, 15, {}, {1}},
        {"half-second chunks: the whole sound chunk first, its neighbour known",
         halfSecondChunks,
         1,
         24,
         {23},
         {0}},
    };
    for (const auto& t : cases) {
        const auto tracks = t.reference();
        const Layout l(tracks, std::vector<std::uint32_t>(tracks.size(), 0));
        const auto counts = l.countsFor(t.track, 0);
        c.expect(!counts.empty() && counts[0] == t.firstCount,
                 std::string("short reference counts: ") + t.name);
        for (std::uint32_t n : t.known) {
            c.expect(l.knownCount(t.track, n), std::string("short reference known: ") + t.name);
        }
        c.expect(l.successors(t.track) == t.next,
                 std::string("short reference successors: ") + t.name);
    }
}

} // namespace

int main() {
    Checks c;
    order(c);
    pictureOrderCounts(c);
    tables(c);
    layout(c);
    shortReference(c);
    return c.finish();
}
