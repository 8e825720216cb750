#include "OwnIndex.h"

#include "Describe.h"
#include "Fragmented.h"
#include "RepairedFile.h"
#include "Summary.h"
#include "box/Box.h"
#include "box/Endian.h"
#include "box/RepairError.h"
#include "box/ZeroRun.h"
#include "write/OutputFile.h"

#include <algorithm>
#include <ostream>

namespace repair {
namespace {

// A recording has a handful of top-level boxes before its media data.
constexpr int kMaxHeadBoxes = 4096;
// Bytes after the last listed sample that a writer may leave as padding; more is media the
// index does not list.
constexpr std::uint64_t kIndexSlack = 4096;

// Media in [listedEnd, mediaEnd) that is not a run of zeros at its end.
bool unlistedMedia(const ByteSource& file, std::uint64_t listedEnd, std::uint64_t mediaEnd) {
    if (listedEnd + kIndexSlack >= mediaEnd) {
        return false;
    }
    return mediaEnd - listedEnd - trailingZeros(file, listedEnd, mediaEnd) > kIndexSlack;
}

// Whether the first moov is whole and comes before the first mdat.
bool moovBeforeMedia(const ByteSource& file) {
    std::optional<BoxHeader> moov;
    std::uint64_t at = 0;
    for (int n = 0; n < kMaxHeadBoxes; ++n) {
        const auto box = readBoxHeader(file, at, file.size());
        if (!box || (n == 0 && !isTopLevelType(box->type))) {
            return false;
        }
        if (box->type == fourcc("mdat")) {
            return moov && !moov->runsPastEnd;
        }
        if (box->type == fourcc("moov") && !moov) {
            moov = box;
        }
        at = box->end;
    }
    return false;
}

std::string trackLabel(const RefTrack& t, std::size_t i) {
    return "track " + std::to_string(i + 1) + " (id " + std::to_string(t.id) + ", " +
           typeName(t.handler) + " " + typeName(t.codec) + ")";
}

// The share of the samples complete before the cut that were kept, on the track that
// kept the least of them.
struct Kept {
    double share = 1.0;
    std::size_t worst = 0;
};

Kept keptShare(const OwnIndex& own) {
    Kept k;
    for (std::size_t i = 0; i < own.tracks.size(); ++i) {
        const OwnTrack& t = own.tracks[i];
        if (t.complete == 0) {
            continue;
        }
        const double share = static_cast<double>(t.tables.sampleCount) / t.complete;
        if (share < k.share) {
            k = {share, i};
        }
    }
    return k;
}

void logChunks(const OwnIndex& own, std::ostream& out) {
    for (std::size_t i = 0; i < own.tracks.size(); ++i) {
        const TrackTables& t = own.tracks[i].tables;
        for (std::size_t c = 0; c < t.chunkOffsets.size(); ++c) {
            out << "chunk: track " << i + 1 << " (" << typeName(own.ref.tracks[i].codec) << ") at "
                << t.chunkOffsets[c] << ", " << t.chunkSamples[c] << " samples\n";
        }
    }
}

// What the index lists of each track and what was kept, for --uverbose.
void describeOwn(const OwnIndex& own, double kept, std::ostream& out) {
    out << "media data: bytes " << own.media.begin << " to " << own.media.end
        << (own.media.cut ? " (the mdat box is cut off)" : "") << "\n";
    for (std::size_t i = 0; i < own.tracks.size(); ++i) {
        const OwnTrack& t = own.tracks[i];
        out << trackLabel(own.ref.tracks[i], i) << ": the index lists " << t.listed << " samples, "
            << t.complete << " complete, " << t.tables.sampleCount << " kept in "
            << t.tables.chunkOffsets.size() << " chunks\n";
    }
    out << "kept: " << describeShare(kept) << " of the samples complete before the cut\n";
}

// The index used, then the summary a person reads.
Kept summarizeOwn(const OwnIndex& own, OwnIndexUse use, const FileSource& file, bool verbose,
                  std::ostream& out) {
    if (own.fragmented) {
        out << "index: the file's own fragments (" << own.fragments
            << " moof boxes after its moov at byte " << own.ref.moovOffset << ")";
    } else {
        out << "index: the file's own moov (at byte " << own.ref.moovOffset
            << ", before the media data)";
    }
    out << (use == OwnIndexUse::Always ? ", used instead of the reference's tracks"
                                       : "; no reference needed")
        << "\n";
    const auto& d = own.damaged;
    if (d.fragments > 0) {
        out << "damage: " << d.fragments << " fragment(s) whose moof is lost or damaged; their "
            << d.bytes << " bytes of media data walked, " << d.explained
            << " of them found to be samples\n";
    }
    const Kept k = keptShare(own);
    if (verbose) {
        describeOwn(own, k.share, out);
    }
    const auto tracks = ownTracksOut(own, 0);
    summarizeTracks(own.ref, tracks, file, out);
    const std::string partial =
        d.explained < d.bytes ? std::to_string(d.bytes - d.explained) +
                                    " bytes of fragments whose moof is lost matched no track"
        : k.share < kWholeRepair
            ? spokenShare(k.share) + " of the samples complete before the cut came back"
            : "";
    summarizeOutcome(tracks, false, partial, out);
    return k;
}

} // namespace

bool OwnIndex::cut() const {
    return std::any_of(tracks.begin(), tracks.end(),
                       [](const OwnTrack& t) { return t.complete < t.listed; });
}

std::uint64_t OwnIndex::keptEnd() const {
    std::uint64_t end = media.begin;
    for (const auto& t : tracks) {
        end = std::max(end, t.keptEnd);
    }
    return end;
}

bool OwnIndex::stale(const ByteSource& file) const {
    return !fragmented && !cut() && keptEnd() > media.begin &&
           unlistedMedia(file, keptEnd(), media.end);
}

bool hasStaleIndex(const ByteSource& file) {
    const auto own = readOwnIndex(file);
    return own && own->stale(file);
}

bool isWholeRecording(const ByteSource& file) {
    std::uint64_t begin = 0, end = 0;
    bool moov = false;
    for (std::uint64_t at = 0, n = 0; at < file.size(); ++n) {
        const auto box = readBoxHeader(file, at, file.size());
        if (!box || n == kMaxHeadBoxes || (n == 0 && !isTopLevelType(box->type)) ||
            (box->runsPastEnd && !box->sizeZero)) {
            return false;
        }
        if (box->type == fourcc("mdat")) {
            begin = begin != 0 ? begin : box->payload;
            end = box->end;
        }
        moov = moov || box->type == fourcc("moov");
        at = box->end;
    }
    if (!moov || end <= begin) {
        return false;
    }
    try {
        Reference ref = readReference(file);
        settleLeftOut(ref, [](const RefTrack&) { return false; });
        std::uint64_t listed = 0, listedEnd = begin;
        for (const auto& t : ref.tracks) {
            const OwnTrack own = readOwnTrack(file, ref, t, begin, end);
            if (own.complete < own.listed) {
                return false;
            }
            listed += own.listed;
            listedEnd = std::max(listedEnd, own.keptEnd);
        }
        return listed > 0 && !unlistedMedia(file, listedEnd, end);
    } catch (const RepairError&) {
        return false;
    }
}

bool hasIndex(const ByteSource& file) {
    try {
        const Reference ref = readReference(file);
        return std::any_of(ref.tracks.begin(), ref.tracks.end(), [](const RefTrack& t) {
            return t.sampleCount > 0 && !t.chunks.empty();
        });
    } catch (const RepairError&) {
        return false;
    }
}

std::optional<OwnIndex> readOwnIndex(const ByteSource& file) {
    if (auto fragmented = readFragmentedIndex(file)) {
        return fragmented;
    }
    if (!moovBeforeMedia(file)) {
        return std::nullopt;
    }
    OwnIndex own;
    try {
        own.ref = readReference(file);
        settleLeftOut(own.ref, [](const RefTrack&) { return false; });
        own.media = findMediaData(file);
    } catch (const RepairError&) {
        return std::nullopt;
    }
    std::uint64_t listed = 0;
    for (const auto& t : own.ref.tracks) {
        own.tracks.push_back(readOwnTrack(file, own.ref, t, own.media.begin, own.media.end));
        listed += own.tracks.back().listed;
    }
    if (listed == 0) {
        return std::nullopt;
    }
    return own;
}

std::vector<TrackOut> ownTracksOut(const OwnIndex& own, std::int64_t shift) {
    std::vector<TrackOut> out;
    std::vector<std::size_t> single; // tracks whose index lists one sample (timecode)
    std::uint64_t longest = 0;       // in movie time, of the others
    for (std::size_t i = 0; i < own.tracks.size(); ++i) {
        if (own.tracks[i].tables.sampleCount == 0) {
            continue;
        }
        TrackOut t;
        t.ref = &own.ref.tracks[i];
        t.tables = own.tracks[i].tables;
        t.emptyBefore = own.tracks[i].emptyBefore;
        t.mediaTime = own.tracks[i].mediaTime;
        for (auto& offset : t.tables.chunkOffsets) {
            offset = static_cast<std::uint64_t>(static_cast<std::int64_t>(offset) + shift);
        }
        if (own.tracks[i].listed == 1) {
            single.push_back(out.size());
        } else {
            longest = std::max(longest, presentedDuration(t, own.ref.movieTimescale));
        }
        out.push_back(std::move(t));
    }
    // A sample meant to last the whole recording lasts as long as what was kept of it.
    for (std::size_t i : single) {
        TrackOut& t = out[i];
        const std::uint64_t d = rescale(longest, own.ref.movieTimescale, t.ref->timescale);
        if (d > 0 && d < t.tables.duration()) {
            t.tables.durations = {{1, static_cast<std::uint32_t>(d)}};
        }
    }
    return out;
}

std::optional<int> repairFromOwnIndex(const Options& o, const FileSource& file,
                                      const std::string& path, OwnIndexUse use, std::ostream& out,
                                      std::ostream& err) {
    const auto own = readOwnIndex(file);
    if (!own || own->stale(file) ||
        (use == OwnIndexUse::WhenCut && !own->cut() && !own->fragmented)) {
        return std::nullopt;
    }
    if (own->keptEnd() <= own->media.begin) {
        std::uint64_t listed = 0;
        for (const auto& t : own->tracks) {
            listed += t.listed;
        }
        if (own->fragmented && own->fragments == 0) {
            throw RepairError(ExitCode::NoMedia,
                              "no media samples found in " + path +
                                  ": it holds only its moov, which announces movie fragments; "
                                  "the recording was cut before its first fragment");
        }
        throw RepairError(ExitCode::NoMedia, "no media samples found in " + path +
                                                 ": its own index lists " + std::to_string(listed) +
                                                 " samples, none whole in bytes " +
                                                 std::to_string(own->media.begin) + " to " +
                                                 std::to_string(own->media.end));
    }
    if (o.verbose) {
        logChunks(*own, out);
    }
    OutputPlan plan;
    plan.path = resultPath(path);
    plan.keepTmp = o.keepTmp;
    plan.head = own->media.head;
    plan.copyBegin = own->media.begin;
    plan.copyEnd = own->keptEnd();
    writeOutput(plan, file, nullptr, [&](std::uint64_t payloadStart) {
        return buildMoov(own->ref,
                         ownTracksOut(*own, static_cast<std::int64_t>(payloadStart) -
                                                static_cast<std::int64_t>(own->media.begin)));
    });
    const Kept kept = summarizeOwn(*own, use, file, o.verbose, out);
    out << "wrote " << plan.path << "\n";
    if (own->damaged.explained < own->damaged.bytes) {
        out.flush();
        err << "untrunc-w: partial repair: " << own->damaged.bytes - own->damaged.explained
            << " bytes of the media data of " << own->damaged.fragments
            << " fragment(s) whose moof is lost or damaged matched no track" << std::endl;
        return static_cast<int>(ExitCode::Partial);
    }
    if (kept.share < kWholeRepair) {
        const OwnTrack& t = own->tracks[kept.worst];
        out.flush();
        err << "untrunc-w: partial repair: " << trackLabel(own->ref.tracks[kept.worst], kept.worst)
            << " keeps " << t.tables.sampleCount << " of its " << t.complete
            << " complete samples: its sample " << t.tables.sampleCount + 1
            << " (decode order) is not whole in the media data" << std::endl;
        return static_cast<int>(ExitCode::Partial);
    }
    return 0;
}

} // namespace repair
