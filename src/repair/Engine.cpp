#include "Engine.h"

#include "box/Box.h"
#include "box/Endian.h"
#include "box/RepairError.h"
#include "box/ZeroRun.h"
#include "walk/ChunkWalker.h"
#include "walk/Layout.h"
#include "walk/ZeroTail.h"

#include <algorithm>

namespace repair {
namespace {

std::string trackName(const RefTrack& t, std::size_t index) {
    return "track " + std::to_string(index + 1) + " (" + typeName(t.handler) + " " +
           typeName(t.codec) + ")";
}

// A duration for tracks whose reference gave none (a single sample, an empty stts).
std::uint32_t sampleDuration(const RefTrack& t) {
    if (t.sampleDuration != 0) {
        return t.sampleDuration;
    }
    return isVideoHandler(t.handler) ? std::max<std::uint32_t>(t.timescale / 30, 1) : 1;
}

// One duration per sample, the last sample before each gap lasting as long as what the
// damage took, so the samples after it keep their times.
std::vector<std::pair<std::uint32_t, std::uint32_t>> durationRuns(const RecoveredTrack& r,
                                                                  std::uint32_t duration) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
    std::uint64_t done = 0;
    const auto add = [&](std::uint64_t count, std::uint64_t delta) {
        const auto d = static_cast<std::uint32_t>(std::min<std::uint64_t>(delta, UINT32_MAX));
        while (count > 0) {
            const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, UINT32_MAX));
            runs.emplace_back(n, d);
            count -= n;
        }
    };
    for (const auto& [after, lost] : r.gaps) {
        if (after > done && after <= r.samples) {
            add(after - 1 - done, duration);
            add(1, duration * (1 + lost));
            done = after;
        }
    }
    add(r.samples - done, duration);
    return runs;
}

// Opus packets carry no length or frame marker of their own: only an index (or a fragment's
// trun) can say where one ends.
std::string whyUnsupported(const RefTrack& t) {
    if (t.codec == fourcc("Opus")) {
        return ": its packets carry no length of their own, so only an index can say where one "
               "ends (a fragmented recording, whose fragments list the sizes, is repaired)";
    }
    return "";
}

} // namespace

// Where the reference's first chunk lies: a file of the same camera whose head is garbled
// most likely has its first chunk there too.
std::uint64_t Engine::referenceMediaOffset() const {
    std::uint64_t first = UINT64_MAX;
    for (const auto& t : ref_.tracks) {
        if (!t.chunks.empty()) {
            first = std::min(first, t.chunks.front().offset);
        }
    }
    return first == UINT64_MAX ? 0 : first;
}

Engine::Engine(const Reference& ref, const ByteSource& refFile, const Options& o) : ref_(ref) {
    for (std::size_t i = 0; i < ref.tracks.size(); ++i) {
        const RefTrack& t = ref.tracks[i];
        const CodecFamily* family = familyFor(t);
        if (!family) {
            throw RepairError(ExitCode::Unsupported, "reference " + trackName(t, i) + ": codec '" +
                                                         typeName(t.codec) + "' is not supported" +
                                                         whyUnsupported(t));
        }
        codecs_.push_back(family->make({t, refFile, o.h264Level, o.aacLowGain}));
    }
}

WalkResult Engine::walk(const ByteSource& broken, const MediaData& media,
                        const std::function<void(std::uint64_t)>& reached) {
    std::vector<std::uint32_t> fixed;
    for (const auto& c : codecs_) {
        fixed.push_back(c->fixedSize());
    }
    const Layout layout(ref_.tracks, fixed);
    // Zeros a camera preallocated end the media where they start, like a cut.
    const std::uint64_t zeros = trailingZeros(broken, media.begin, media.end);
    const bool tail = zeros >= zeroTailMinimum(layout);
    MediaView view(broken, media.begin, media.end - (tail ? zeros : 0), media.cut || tail);
    if (tail) {
        view.setZeroTail(media.end);
    }
    ChunkWalker walker(view, codecs_, layout);
    if (onChunk_ || reached) {
        walker.onChunk([this, &reached](const ChunkFound& c) {
            if (onChunk_) {
                onChunk_(c);
            }
            if (reached) {
                reached(c.offset + c.bytes);
            }
        });
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> holes;
    for (const auto& h : media.holes) {
        holes.emplace_back(h.begin, h.end);
    }
    walker.skipOver(std::move(holes));
    if (media.search) {
        walker.searchStart(referenceMediaOffset());
    }
    WalkResult result = walker.run();
    result.zeroTail = tail ? media.end - std::max(result.limit, result.dataEnd) : 0;
    return result;
}

std::vector<TrackOut> Engine::outputTracks(const WalkResult& walk, std::int64_t shift) const {
    std::vector<TrackOut> out;
    std::uint64_t longestMovie = 0; // in movie time
    for (std::size_t i = 0; i < walk.tracks.size(); ++i) {
        const RefTrack& r = ref_.tracks[i];
        const RecoveredTrack& rec = walk.tracks[i];
        if (rec.samples == 0 || !r.fault.empty()) {
            continue;
        }
        TrackOut t;
        t.ref = &r;
        t.tables = buildTables(rec, shift, r.fixedSampleSize);
        t.tables.durations = durationRuns(rec, sampleDuration(r));
        for (std::uint32_t units : codecs_[i]->compositionOffsets()) {
            t.tables.compositionOffsets.push_back(units * sampleDuration(r));
        }
        const auto& ctts = t.tables.compositionOffsets;
        if (!ctts.empty()) {
            t.mediaTime = ctts.front();
        } else if (isVideoHandler(r.handler) && r.editMediaTime >= 0) {
            t.mediaTime = 0;
        }
        if (r.sampleCount > 1 || rec.samples > 1) {
            longestMovie = std::max(longestMovie,
                                    rescale(t.tables.duration(), r.timescale, ref_.movieTimescale));
        }
        out.push_back(std::move(t));
    }
    // A track of one sample in the reference (a timecode) lasts as long as the recording.
    for (auto& t : out) {
        if (t.ref->sampleCount == 1 && t.tables.sampleCount == 1 && longestMovie > 0) {
            const auto d = rescale(longestMovie, ref_.movieTimescale, t.ref->timescale);
            t.tables.durations = {{1, static_cast<std::uint32_t>(std::max<std::uint64_t>(d, 1))}};
        }
    }
    return out;
}

} // namespace repair
