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
    for (const auto& t : own.ref.tracks) {
        if (t.timescale != 0 && startsFallOn(own, t.timescale)) {
            for (std::size_t i = 0; i < 4; ++i) {
                mvhd[at + i] = static_cast<std::uint8_t>(t.timescale >> (24 - 8 * i));
            }
            own.ref.movieTimescale = t.timescale;
            return;
        }
    }
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
    std::uint64_t explained = walked.lostToCut;
    for (std::size_t i = 0; i < builders.size(); ++i) {
        const auto& t = walked.tracks[i];
        // The next fragment's tfdt says how long the lost one lasted: a walk that disagrees
        // took samples of another track, or missed some. Its samples are left out then, and
        // the last one before them lasts until the next fragment.
        const auto next = decodeTimeOf(resume.fragment, own.ref.tracks[i].id);
        if (!t || builders[i].stopped() || (next && builders[i].decodeTime() + t->duration() != *next)) {
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
    settleMovieTimescale(own);
    return own;
}

} // namespace repair
