#include "Fragmented.h"

#include "FragmentTracks.h"
#include "FragmentWalk.h"
#include "box/Box.h"
#include "box/Endian.h"
#include "box/FragmentResume.h"
#include "box/Fragments.h"
#include "box/RepairError.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace repair {
namespace {

constexpr std::size_t kMaxHead = 1u << 20;

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

std::optional<std::uint64_t> decodeTimeOf(const MovieFragment& f, std::uint32_t trackId) {
    for (const auto& t : f.tracks) {
        if (t.trackId == trackId) {
            return t.decodeTime;
        }
    }
    return std::nullopt;
}

// Whether every late track's start falls on a tick of the movie timescale ts.
bool startsFallOn(const OwnIndex& own, std::uint64_t ts) {
    for (std::size_t i = 0; i < own.tracks.size(); ++i) {
        const std::uint64_t trackTs = own.ref.tracks[i].timescale;
        if (trackTs != 0 && own.tracks[i].emptyBefore % (trackTs / std::gcd(trackTs, ts)) != 0) {
            return false;
        }
    }
    return true;
}

// Empty edits count movie time: when a late track's start does not fall on its ticks, the
// movie takes the timescale of a track on which every start falls, so times stay exact.
void settleMovieTimescale(OwnIndex& own) {
    auto& mvhd = own.ref.mvhd;
    const std::size_t at = mvhd.size() > 8 && mvhd[8] == 1 ? 28 : 20;
    const bool edits = std::any_of(own.ref.tracks.begin(), own.ref.tracks.end(),
                                   [](const RefTrack& t) { return !t.elst.empty(); });
    if (edits || mvhd.size() < at + 4 || startsFallOn(own, own.ref.movieTimescale)) {
        return;
    }
    // Each track's timescale, then one on which all fall when durations still fit it.
    std::vector<std::uint64_t> candidates;
    std::uint64_t all = 1, longest = 0;
    for (std::size_t i = 0; i < own.tracks.size(); ++i) {
        const std::uint32_t ts = own.ref.tracks[i].timescale;
        candidates.push_back(ts);
        all = ts == 0 || all > UINT32_MAX ? all : std::lcm(all, std::uint64_t{ts});
        const OwnTrack& t = own.tracks[i];
        longest = std::max(longest, ts == 0 ? 0 : (t.tables.duration() + t.emptyBefore) / ts + 1);
    }
    if (all <= UINT32_MAX && longest < UINT32_MAX / all) {
        candidates.push_back(all);
    }
    for (const std::uint64_t ts : candidates) {
        if (ts != 0 && startsFallOn(own, ts)) {
            for (std::size_t i = 0; i < 4; ++i) {
                mvhd[at + i] = static_cast<std::uint8_t>(ts >> (24 - 8 * i));
            }
            own.ref.movieTimescale = static_cast<std::uint32_t>(ts);
            return;
        }
    }
}

// What the next fragment's tfdt says the lost one holds: each track's run, in the order of
// the fragment before it, of samples as long as most; nothing when it does not tell.
std::optional<std::vector<ExpectedRun>> expectedRuns(const OwnIndex& own,
                                                     const std::vector<TrackBuilder>& builders,
                                                     const MovieFragment& next,
                                                     const std::vector<std::size_t>& order) {
    std::vector<ExpectedRun> runs;
    for (std::size_t i = 0; i < builders.size(); ++i) {
        const auto time = decodeTimeOf(next, own.ref.tracks[i].id);
        const std::uint64_t from = builders[i].decodeTime();
        const std::uint32_t d = own.ref.tracks[i].sampleDuration;
        const bool listed = std::find(order.begin(), order.end(), i) != order.end();
        if (!time || *time < from || (*time > from && (!listed || d == 0 || (*time - from) % d))) {
            return std::nullopt;
        }
        runs.push_back({i, d == 0 ? 0 : (*time - from) / d, d, builders[i].lastSize()});
    }
    std::sort(runs.begin(), runs.end(), [&](const ExpectedRun& a, const ExpectedRun& b) {
        return std::find(order.begin(), order.end(), a.track) <
               std::find(order.begin(), order.end(), b.track);
    });
    return runs;
}

// Whether the walk found each track's samples as long as the next fragment's tfdt says.
bool lastsUntil(const WalkedFragment& walked, const MovieFragment& next, const OwnIndex& own,
                const std::vector<TrackBuilder>& builders, std::size_t i) {
    const auto time = decodeTimeOf(next, own.ref.tracks[i].id);
    const auto& t = walked.tracks[i];
    return !time || builders[i].decodeTime() + (t ? t->duration() : 0) == *time;
}

// A fragment whose moof is lost or damaged: its media data is walked and its samples go
// to the builders; returns where the next good moof starts, if one does. When the walk
// disagrees with the next fragment's tfdt, the runs that tfdt tells are read instead.
std::optional<std::uint64_t> walkDamaged(const ByteSource& file, std::uint64_t from,
                                         const std::vector<TrackDefaults>& defaults,
                                         const std::vector<std::size_t>& order, OwnIndex& own,
                                         std::vector<TrackBuilder>& builders) {
    const FragmentResume resume = findResume(file, from, defaults);
    if (!resume.mdat && !resume.moof) {
        return std::nullopt; // no fragment follows: the file ends in something else
    }
    const std::uint64_t next = resume.moof ? resume.moof->offset : file.size();
    const std::uint64_t begin = resume.mdat ? resume.mdat->payload : from;
    const std::uint64_t end = resume.mdat ? std::min(resume.mdat->end, next) : next;
    const bool cut = !resume.moof && resume.mdat && resume.mdat->runsPastEnd;
    WalkedFragment walked = walkFragment(file, own.ref, begin, end, cut);
    bool agrees = true;
    for (std::size_t i = 0; i < builders.size(); ++i) {
        agrees = agrees && lastsUntil(walked, resume.fragment, own, builders, i);
    }
    const auto runs =
        agrees || !resume.moof ? std::nullopt : expectedRuns(own, builders, resume.fragment, order);
    if (auto counted = runs ? countFragment(file, own.ref, begin, end, *runs) : std::nullopt) {
        walked = std::move(*counted);
    }
    std::uint64_t explained = walked.lostToCut;
    for (std::size_t i = 0; i < builders.size(); ++i) {
        const auto& t = walked.tracks[i];
        // A walk that disagrees with the next fragment's tfdt took samples of another track,
        // or missed some: they are left out, and the last sample before them lasts until the
        // next fragment.
        if (!t || builders[i].stopped() || !lastsUntil(walked, resume.fragment, own, builders, i)) {
            continue;
        }
        builders[i].addWalked(*t);
        explained += t->sizes.empty()
                         ? t->fixedSize * t->sampleCount
                         : std::accumulate(t->sizes.begin(), t->sizes.end(), std::uint64_t{0});
    }
    ++own.damaged.fragments;
    own.damaged.bytes += end - begin;
    own.damaged.explained += std::min(explained, end - begin);
    own.media.cut = cut;
    return resume.moof ? std::optional(next) : std::nullopt;
}

// Damage before the first good fragment: nothing teaches what a walk would look for, so its
// bytes are lost; the fragments after it are read, their tfdt keeping their times.
std::optional<std::uint64_t> skipDamaged(const ByteSource& file, std::uint64_t from,
                                         const std::vector<TrackDefaults>& defaults, OwnIndex& own,
                                         std::vector<TrackBuilder>& builders) {
    const FragmentResume resume = findResume(file, from, defaults);
    if (!resume.moof || !resume.mdat) {
        return std::nullopt; // nothing like a fragment follows
    }
    for (auto& b : builders) {
        b.startAtSync();
    }
    ++own.damaged.fragments;
    own.damaged.bytes += resume.moof->offset - from;
    return resume.moof->offset;
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
    std::vector<std::size_t> order; // tracks in the order the last good fragment lists them
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
            at = seen ? walkDamaged(file, box->offset, start->defaults, order, own, builders)
                      : skipDamaged(file, box->offset, start->defaults, own, builders);
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
        order.clear();
        for (const auto& t : fragment->tracks) {
            for (std::size_t i = 0; i < own.ref.tracks.size(); ++i) {
                if (own.ref.tracks[i].id == t.trackId) {
                    builders[i].add(t, own.media.begin, own.media.end);
                    order.push_back(i);
                }
            }
        }
        ++own.fragments;
    }
    for (auto& b : builders) {
        b.finish();
    }
    settleMovieTimescale(own);
    return own;
}

} // namespace repair
