// Display order to composition offsets, chunk grouping and the interleave hint.
#include "Check.h"
#include "Composition.h"
#include "Interleave.h"
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

void chunks(Checks& c) {
    // video 0-100, 100-150 | audio 150-160 | video 160-200 | gap | video 300-310
    const std::vector<Sample> samples = {
        {0, 100, kVideo, true},   {100, 50, kVideo, false}, {150, 10, kAudio, true},
        {160, 40, kVideo, false}, {300, 10, kVideo, true},
    };
    const TrackTables v = buildTables(samples, kVideo, 1000);
    c.expect(v.chunkOffsets == std::vector<std::uint64_t>{1000, 1160, 1300}, "video chunk offsets");
    c.expect(v.chunkSamples == std::vector<std::uint32_t>{2, 1, 1}, "video chunk sizes");
    c.expect(v.syncSamples == std::vector<std::uint32_t>{1, 4}, "video sync samples");
    c.equal(v.allSync, false, "video not all sync");
    const TrackTables a = buildTables(samples, kAudio, -100);
    c.expect(a.chunkOffsets == std::vector<std::uint64_t>{50}, "audio chunk offset");
    c.equal(a.allSync, true, "audio all sync");
    c.expect(a.syncSamples.empty(), "no stss for audio");
}

Reference layoutReference() {
    Reference ref;
    ref.video = RefTrack{};
    ref.audio = RefTrack{};
    ref.video->hasStss = true;
    ref.video->syncSamples = {1, 3};
    // File order: V1 V2 | A A | V3 V4 | A
    ref.video->chunks = {{0, 2}, {300, 2}};
    ref.audio->chunks = {{200, 2}, {500, 1}};
    return ref;
}

struct MaskCase {
    const char* name;
    int gopm;
    int gopl;
    std::vector<int> expected; // what the predictor says before each observed sample
};

void mask(Checks& c) {
    const Reference ref = layoutReference();
    const MaskCase cases[] = {
        // One GOP (V V A A) repeated.
        {"one gop", 1, 1, {kVideo, kVideo, kAudio, kAudio, kVideo, kVideo}},
        // Two GOPs (V V A A V V A), looping back to the second GOP.
        {"two gops loop at 2",
         2,
         2,
         {kVideo, kVideo, kAudio, kAudio, kVideo, kVideo, kAudio, kVideo}},
    };
    for (const auto& t : cases) {
        auto p = InterleavePredictor::fromReference(ref, t.gopm, t.gopl);
        std::vector<int> seen;
        for (std::size_t i = 0; i < t.expected.size(); ++i) {
            seen.push_back(p.expect());
            p.observe(t.expected[i]);
        }
        c.expect(seen == t.expected, std::string("mask: ") + t.name);
    }
    auto fixed = InterleavePredictor::fromSamplesPerChunk(2, true);
    std::vector<int> seen;
    for (int i = 0; i < 5; ++i) {
        seen.push_back(fixed.expect());
        fixed.observe(seen.back());
    }
    c.expect(seen == std::vector<int>{kVideo, kVideo, kAudio, kAudio, kVideo},
             "samples per chunk 2");
    // A file that departs from the mask: the hint realigns on what was found.
    auto p = InterleavePredictor::fromReference(ref, 1, 1);
    p.observe(kAudio);
    c.equal(p.expect(), int{kAudio}, "realigned after an unexpected audio sample");
}

} // namespace

int main() {
    Checks c;
    order(c);
    chunks(c);
    mask(c);
    return c.finish();
}
