#include "Fragmented.h"

#include "FragmentWalk.h"
#include "box/Box.h"
#include "box/Endian.h"
#include "box/FragmentResume.h"
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
        if (f.decodeTime && !stopped_ && out_.tables.sampleCount == 0) {
            dts_ = out_.startTime = *f.decodeTime; // shown late by an empty edit
        } else if (f.decodeTime && !stopped_) {
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

    // Samples a walk found where a moof was lost: they count as listed and whole.
    void addWalked(const TrackTables& t) {
        std::size_t i = 0, run = 0, sync = 0;
        std::uint32_t used = 0;
        for (std::size_t c = 0; c < t.chunkOffsets.size() && !stopped_; ++c) {
            std::uint64_t at = t.chunkOffsets[c];
            for (std::uint32_t k = 0; k < t.chunkSamples[c] && run < t.durations.size(); ++k) {
                FragmentSample s;
                s.offset = at;
                s.size = t.sizes.empty() ? t.fixedSize : t.sizes[i];
                s.duration = t.durations[run].second;
                if (++used == t.durations[run].first) {
                    ++run;
                    used = 0;
                }
                s.compositionOffset = i < t.compositionOffsets.size() ? t.compositionOffsets[i] : 0;
                s.sync = t.allSync || (sync < t.syncSamples.size() && t.syncSamples[sync] == i + 1);
                sync += s.sync && !t.allSync ? 1 : 0;
                keep(s, !t.compositionOffsets.empty(), k == 0);
                at += s.size;
                ++i;
                ++out_.listed;
                ++out_.complete;
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

// A fragment whose moof is lost or damaged: its media data is walked and its samples go
// to the builders; returns where the next good moof starts, if one does.
std::optional<std::uint64_t> walkDamaged(const ByteSource& file, std::uint64_t from,
                                         const std::vector<TrackDefaults>& defaults, OwnIndex& own,
                                         std::vector<TrackBuilder>& builders) {
    const FragmentResume resume = findResume(file, from, defaults);
    if (!resume.mdat && !resume.moof) {
        return std::nullopt; // no fragment follows: the file ends in something else
    }
    const std::uint64_t next = resume.moof ? resume.moof->offset : file.size();
    const std::uint64_t begin = resume.mdat ? resume.mdat->payload : from;
    const std::uint64_t end = resume.mdat ? std::min(resume.mdat->end, next) : next;
    const bool cut = !resume.moof && resume.mdat && resume.mdat->runsPastEnd;
    const WalkedFragment walked = walkFragment(file, own.ref, begin, end, cut);
    ++own.damaged.fragments;
    own.damaged.bytes += end - begin;
    own.damaged.explained += std::min(walked.explained, end - begin);
    for (std::size_t i = 0; i < builders.size(); ++i) {
        if (walked.tracks[i]) {
            builders[i].addWalked(*walked.tracks[i]);
        }
    }
    own.media.cut = cut;
    return resume.moof ? std::optional(next) : std::nullopt;
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
    std::optional<std::uint64_t> at = start->moov.end;
    while (at) {
        const auto box = readBoxHeader(file, *at, file.size());
        if (!box || (box->type == fourcc("moof") && box->runsPastEnd)) {
            own.media.cut = box.has_value();
            break;
        }
        own.media.cut = box->runsPastEnd;
        if (box->type == fourcc("moov") && seen && !box->runsPastEnd) {
            return std::nullopt; // a finished hybrid recording: its last moov lists it all
        }
        const auto fragment = box->type == fourcc("moof")
                                  ? readMovieFragment(file, *box, start->defaults)
                                  : std::nullopt;
        const bool damaged =
            !isFragmentLevelType(box->type) || (box->type == fourcc("moof") && !fragment);
        if (damaged) {
            // Before the first good fragment nothing teaches what the walk would look for.
            at = seen ? walkDamaged(file, box->offset, start->defaults, own, builders)
                      : std::nullopt;
            continue;
        }
        at = box->end;
        if (!fragment) {
            continue;
        }
        if (!seen) {
            own.media.begin = box->offset;
            seen = true;
        }
        for (const auto& t : fragment->tracks) {
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
