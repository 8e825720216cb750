#include "box/RefFragments.h"

#include "box/Endian.h"
#include "box/Fragments.h"

#include <algorithm>
#include <limits>
#include <map>

namespace repair {
namespace {

// A reference is a short recording; this many fragments tell its layout well enough.
constexpr int kMaxFragments = 512;
// Samples a codec may learn from, and over which the B-frame delay is found.
constexpr std::size_t kLearnSamples = 256;

// What one track's fragments add up to.
struct Learnt {
    std::map<std::uint32_t, std::uint64_t> durations; // how often each
    std::map<std::uint32_t, std::uint64_t> sizes;     // up to two kinds: alike or not
    std::int64_t dts = 0, earliestShown = -1;
    bool offsets = false;
};

void add(const TrackFragment& f, RefTrack& t, Learnt& l) {
    if (f.samples.empty()) {
        return;
    }
    t.chunks.push_back({f.samples.front().offset, static_cast<std::uint32_t>(f.samples.size())});
    for (const auto& s : f.samples) {
        ++t.sampleCount;
        if (l.durations.size() < 64 || l.durations.count(s.duration)) {
            ++l.durations[s.duration];
        }
        if (l.sizes.size() < 2) {
            ++l.sizes[s.size];
        }
        t.maxSampleSize = std::max(t.maxSampleSize, s.size);
        if (!s.sync) {
            t.hasStss = true;
        } else if (t.sampleCount <= std::numeric_limits<std::uint32_t>::max()) {
            t.syncSamples.push_back(static_cast<std::uint32_t>(t.sampleCount));
        }
        if (t.firstSamples.size() < kLearnSamples) {
            t.firstSamples.push_back({s.offset, s.size});
            const std::int64_t shown = l.dts + static_cast<std::int32_t>(s.compositionOffset);
            l.earliestShown = t.firstSamples.size() == 1 ? shown : std::min(l.earliestShown, shown);
            l.offsets = l.offsets || f.compositionOffsets;
            l.dts += s.duration;
        }
    }
}

void settle(RefTrack& t, const Learnt& l) {
    const auto common = std::max_element(l.durations.begin(), l.durations.end(),
                                         [](auto& a, auto& b) { return a.second < b.second; });
    t.sampleDuration = common == l.durations.end() ? 0 : common->first;
    t.fixedSampleSize = l.sizes.size() == 1 ? l.sizes.begin()->first : 0;
    if (!t.hasStss) {
        t.syncSamples.clear();
    }
    if (l.offsets && l.earliestShown >= 0 && t.sampleDuration != 0) {
        const std::int64_t d = t.sampleDuration;
        t.shownDelay = (l.earliestShown + d / 2) / d;
    }
}

} // namespace

void learnFromFragments(const ByteSource& file, const BoxHeader& moov, Reference& ref) {
    const auto defaults = readMovieExtends(file, moov);
    const bool listed = std::any_of(ref.tracks.begin(), ref.tracks.end(),
                                    [](const RefTrack& t) { return t.sampleCount > 0; });
    if (!defaults || listed) {
        return;
    }
    std::vector<Learnt> learnt(ref.tracks.size());
    int fragments = 0;
    for (auto at = readBoxHeader(file, moov.end, file.size()); at && fragments < kMaxFragments;
         at = readBoxHeader(file, at->end, file.size())) {
        if (!isFragmentLevelType(at->type) || at->runsPastEnd) {
            break;
        }
        const auto fragment =
            at->type == fourcc("moof") ? readMovieFragment(file, *at, *defaults) : std::nullopt;
        for (const auto& f : fragment ? fragment->tracks : std::vector<TrackFragment>{}) {
            for (std::size_t i = 0; i < ref.tracks.size(); ++i) {
                if (ref.tracks[i].id == f.trackId) {
                    add(f, ref.tracks[i], learnt[i]);
                }
            }
        }
        fragments += fragment ? 1 : 0;
    }
    for (std::size_t i = 0; i < ref.tracks.size(); ++i) {
        settle(ref.tracks[i], learnt[i]);
    }
}

} // namespace repair
