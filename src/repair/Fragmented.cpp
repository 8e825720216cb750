#include "Fragmented.h"

#include "box/Box.h"
#include "box/Endian.h"
#include "box/Fragments.h"
#include "box/RepairError.h"

#include <algorithm>
#include <limits>

namespace repair {
namespace {

constexpr std::size_t kMaxHead = 1u << 20;

// One track's tables as its fragments come.
class TrackBuilder {
public:
    explicit TrackBuilder(OwnTrack& out) : out_(out) {}

    void add(const TrackFragment& f, std::uint64_t begin, std::uint64_t end) {
        out_.listed += f.samples.size();
        if (f.decodeTime && !stopped_) {
            fillGap(*f.decodeTime);
        }
        bool newChunk = true;
        for (const auto& s : f.samples) {
            const bool whole = s.offset >= begin && s.offset <= end && s.size <= end - s.offset;
            out_.complete += whole ? 1 : 0;
            stopped_ = stopped_ || !whole;
            if (!stopped_) {
                keep(s, f.compositionOffsets, newChunk || s.offset != chunkEnd_);
                newChunk = false;
            }
        }
    }

    void finish() {
        TrackTables& t = out_.tables;
        if (t.allSync) {
            t.syncSamples.clear();
        }
    }

private:
    // A fragment that starts later than the samples before it end: the last one lasts
    // until it starts.
    void fillGap(std::uint64_t decodeTime) {
        auto& runs = out_.tables.durations;
        const std::uint64_t longer = runs.empty() ? 0 : runs.back().second + (decodeTime - dts_);
        if (decodeTime <= dts_ || runs.empty() ||
            longer > std::numeric_limits<std::int32_t>::max()) {
            return;
        }
        if (--runs.back().first == 0) {
            runs.pop_back();
        }
        runs.emplace_back(1, static_cast<std::uint32_t>(longer));
        dts_ = decodeTime;
    }

    void keep(const FragmentSample& s, bool offsets, bool newChunk) {
        TrackTables& t = out_.tables;
        if (newChunk || t.chunkSamples.back() == std::numeric_limits<std::uint32_t>::max()) {
            t.chunkOffsets.push_back(s.offset);
            t.chunkSamples.push_back(0);
        }
        ++t.chunkSamples.back();
        chunkEnd_ = s.offset + s.size;
        t.sizes.push_back(s.size);
        if (!t.durations.empty() && t.durations.back().second == s.duration &&
            t.durations.back().first < std::numeric_limits<std::uint32_t>::max()) {
            ++t.durations.back().first;
        } else {
            t.durations.emplace_back(1, s.duration);
        }
        dts_ += s.duration;
        if (offsets || !t.compositionOffsets.empty()) {
            t.compositionOffsets.resize(static_cast<std::size_t>(t.sampleCount), 0);
            t.compositionOffsets.push_back(s.compositionOffset);
        }
        ++t.sampleCount;
        t.allSync = t.allSync && s.sync;
        if (s.sync) {
            t.syncSamples.push_back(static_cast<std::uint32_t>(t.sampleCount));
        }
        out_.keptEnd = std::max(out_.keptEnd, chunkEnd_);
    }

    OwnTrack& out_;
    std::uint64_t dts_ = 0;
    std::uint64_t chunkEnd_ = 0;
    bool stopped_ = false;
};

// The first moov, when it announces fragments and comes before them.
struct Start {
    BoxHeader moov;
    std::vector<TrackDefaults> defaults;
};

std::optional<Start> fragmentedStart(const ByteSource& file, MediaData& media) {
    for (auto at = readBoxHeader(file, 0, file.size()); at;
         at = readBoxHeader(file, at->end, file.size())) {
        const BoxHeader& box = *at;
        if (box.type == fourcc("moov")) {
            auto defaults = box.runsPastEnd ? std::nullopt : readMovieExtends(file, box);
            return defaults ? std::optional<Start>({box, std::move(*defaults)}) : std::nullopt;
        }
        if (!isTopLevelType(box.type) || box.type == fourcc("mdat") || box.runsPastEnd) {
            return std::nullopt;
        }
        if (box.type == fourcc("ftyp") && media.ftyp.empty()) {
            media.ftyp = loadBox(file, box.offset, box.end, 4096);
        }
        if (media.head.size() + (box.end - box.offset) <= kMaxHead) {
            const auto bytes = loadBox(file, box.offset, box.end, kMaxHead);
            media.head.insert(media.head.end(), bytes.begin(), bytes.end());
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<OwnIndex> readFragmentedIndex(const ByteSource& file) {
    OwnIndex own;
    own.fragmented = true;
    const auto start = fragmentedStart(file, own.media);
    if (!start) {
        return std::nullopt;
    }
    try {
        own.ref = readReference(file);
        settleLeftOut(own.ref, [](const RefTrack&) { return false; });
    } catch (const RepairError&) {
        return std::nullopt;
    }
    own.tracks.resize(own.ref.tracks.size());
    std::vector<TrackBuilder> builders;
    for (auto& t : own.tracks) {
        builders.emplace_back(t);
    }
    own.media.begin = start->moov.end;
    own.media.end = file.size();
    bool seen = false;
    for (auto at = readBoxHeader(file, start->moov.end, file.size()); at;
         at = readBoxHeader(file, at->end, file.size())) {
        const BoxHeader& box = *at;
        own.media.cut = box.runsPastEnd;
        if (!isFragmentLevelType(box.type) || (box.type == fourcc("moof") && box.runsPastEnd)) {
            break;
        }
        if (box.type == fourcc("moov") && seen && !box.runsPastEnd) {
            return std::nullopt; // a finished hybrid recording: its last moov lists it all
        }
        if (box.type != fourcc("moof")) {
            continue;
        }
        if (!seen) {
            own.media.begin = box.offset;
            seen = true;
        }
        const auto fragment = readMovieFragment(file, box, start->defaults);
        for (const auto& t : fragment ? fragment->tracks : std::vector<TrackFragment>{}) {
            for (std::size_t i = 0; i < own.ref.tracks.size(); ++i) {
                if (own.ref.tracks[i].id == t.trackId) {
                    builders[i].add(t, own.media.begin, own.media.end);
                }
            }
        }
        ++own.fragments;
    }
    for (auto& b : builders) {
        b.finish();
    }
    return own;
}

} // namespace repair
