#include "write/MoovWriter.h"

#include "box/BoxWriter.h"
#include "write/StblWriter.h"

#include <algorithm>
#include <limits>

namespace repair {
namespace {

using Bytes = std::vector<std::uint8_t>;

void putAt(Bytes& b, std::size_t at, std::uint64_t v, std::size_t width) {
    if (at + width > b.size()) {
        return;
    }
    if (width == 4) {
        v = std::min<std::uint64_t>(v, std::numeric_limits<std::uint32_t>::max());
    }
    for (std::size_t i = 0; i < width; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
    }
}

// mvhd, tkhd and mdhd keep their duration after the times (and the track id in tkhd):
// version 0 with 32-bit fields, version 1 with 64-bit ones.
Bytes withDuration(Bytes box, std::uint64_t duration, std::size_t v0At, std::size_t v1At) {
    const bool v1 = box.size() > 8 && box[8] == 1;
    putAt(box, v1 ? v1At : v0At, duration, v1 ? 8 : 4);
    return box;
}

// End of the last sample's presentation: with reordering, a late decode can show early
// and an early one late, so the end is the latest composition time plus its duration.
std::uint64_t presentationEnd(const TrackOut& t) {
    const auto& ctts = t.tables.compositionOffsets;
    std::uint64_t end = t.tables.duration();
    std::uint64_t dts = 0;
    std::size_t i = 0;
    for (auto run = t.tables.durations.begin(); run != t.tables.durations.end() && i < ctts.size();
         ++run) {
        for (std::uint32_t k = 0; k < run->first && i < ctts.size(); ++k, ++i) {
            // Offsets from a version 1 ctts may be negative.
            const std::int64_t shown =
                static_cast<std::int64_t>(dts) + static_cast<std::int32_t>(ctts[i]) + run->second;
            end = std::max<std::uint64_t>(
                end, static_cast<std::uint64_t>(std::max<std::int64_t>(shown, 0)));
            dts += run->second;
        }
    }
    return end;
}

std::int64_t mediaTimeOf(const TrackOut& t) {
    return t.mediaTime >= 0 ? t.mediaTime : t.ref->editMediaTime;
}

// The reference's edits, with the one that shows the media stretched over what came back;
// an empty edit first when the track starts late.
void writeEdts(BoxWriter& w, const TrackOut& t, std::uint64_t duration, std::uint64_t empty) {
    const Bytes& elst = t.ref->elst;
    const bool v1 = elst.size() > 8 && elst[8] == 1;
    const std::size_t entry = v1 ? 20 : 12;
    const std::size_t declared = elst.size() >= 16 ? be32(elst.data() + 12) : 0;
    const std::size_t count = std::min(declared, elst.size() < 16 ? 0 : (elst.size() - 16) / entry);
    if (mediaTimeOf(t) < 0 && count == 0 && empty == 0) {
        return;
    }
    const auto edts = w.open(fourcc("edts"));
    const auto box = w.openFull(fourcc("elst"), 1, 0);
    std::vector<std::pair<std::uint64_t, std::int64_t>> empties;
    if (empty > 0) {
        empties.emplace_back(empty, -1);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = elst.data() + 16 + i * entry;
        const auto time = v1 ? static_cast<std::int64_t>(be64(e + 8))
                             : std::int64_t{static_cast<std::int32_t>(be32(e + 4))};
        if (time != -1) {
            break;
        }
        empties.emplace_back(v1 ? be64(e) : be32(e), -1);
    }
    w.u32(static_cast<std::uint32_t>(empties.size() + 1));
    for (const auto& [length, time] : empties) {
        w.u64(length);
        w.u64(static_cast<std::uint64_t>(time));
        w.u32(0x00010000);
    }
    w.u64(duration - empty);
    w.u64(static_cast<std::uint64_t>(std::max<std::int64_t>(mediaTimeOf(t), 0)));
    w.u32(0x00010000);
    w.close(box);
    w.close(edts);
}

void writeTrak(BoxWriter& w, const TrackOut& t, std::uint32_t movieTimescale) {
    const RefTrack& r = *t.ref;
    const std::uint64_t duration = presentedDuration(t, movieTimescale);
    const auto trak = w.open(fourcc("trak"));
    w.raw(withDuration(r.tkhd, duration, 28, 36));
    writeEdts(w, t, duration, rescale(t.emptyBefore, r.timescale, movieTimescale));
    for (const auto& b : r.trakBefore) {
        w.raw(b);
    }
    const auto mdia = w.open(fourcc("mdia"));
    w.raw(withDuration(r.mdhd, t.tables.duration(), 24, 32));
    for (const auto& b : r.mdiaOther) {
        w.raw(b);
    }
    const auto minf = w.open(fourcc("minf"));
    for (const auto& b : r.minfOther) {
        w.raw(b);
    }
    writeStbl(w, r.stsd, t.tables);
    w.close(minf);
    w.close(mdia);
    for (const auto& b : r.trakAfter) {
        w.raw(b);
    }
    w.close(trak);
}

} // namespace

std::uint64_t presentedDuration(const TrackOut& t, std::uint32_t timescale) {
    const std::uint64_t media = presentationEnd(t);
    const std::int64_t start = mediaTimeOf(t);
    const std::uint64_t skip = start > 0 ? static_cast<std::uint64_t>(start) : 0;
    return rescale((media > skip ? media - skip : 0) + t.emptyBefore, t.ref->timescale, timescale);
}

std::vector<std::uint8_t> buildMoov(const Reference& ref, const std::vector<TrackOut>& tracks) {
    BoxWriter w;
    const auto moov = w.open(fourcc("moov"));
    std::uint64_t longest = 0;
    for (const auto& t : tracks) {
        longest = std::max(longest, presentedDuration(t, ref.movieTimescale));
    }
    Bytes mvhd = withDuration(ref.mvhd, longest, 24, 32);
    // next_track_ID: past every track id written.
    std::uint32_t lastId = 0;
    for (const auto& t : tracks) {
        lastId = std::max(lastId, t.ref->id);
    }
    const bool v1 = mvhd.size() > 8 && mvhd[8] == 1;
    const std::size_t nextAt = v1 ? 116 : 104;
    if (mvhd.size() >= nextAt + 4 && be32(mvhd.data() + nextAt) <= lastId) {
        putAt(mvhd, nextAt, std::uint64_t{lastId} + 1, 4);
    }
    w.raw(mvhd);
    for (const auto& t : tracks) {
        writeTrak(w, t, ref.movieTimescale);
    }
    for (const auto& b : ref.moovOther) {
        w.raw(b);
    }
    w.close(moov);
    return w.bytes();
}

} // namespace repair
