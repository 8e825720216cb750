#include "MoovWriter.h"

#include "BoxWriter.h"
#include "StblWriter.h"

#include <algorithm>
#include <limits>

namespace repair {
namespace {

constexpr std::uint32_t kUnity = 0x00010000;

bool needs64(std::uint64_t v) {
    return v > std::numeric_limits<std::uint32_t>::max();
}

std::uint64_t rescale(std::uint64_t v, std::uint32_t from, std::uint32_t to) {
    return from == 0 ? 0 : static_cast<std::uint64_t>(static_cast<long double>(v) * to / from);
}

// Time both versions of mvhd/tkhd/mdhd share: creation and modification times, unknown.
void writeTimes(BoxWriter& w, bool wide) {
    w.zeros(wide ? 16 : 8);
}

void writeDuration(BoxWriter& w, std::uint64_t d, bool wide) {
    if (wide) {
        w.u64(d);
    } else {
        w.u32(static_cast<std::uint32_t>(d));
    }
}

void writeMatrix(BoxWriter& w) {
    const std::uint32_t m[9] = {kUnity, 0, 0, 0, kUnity, 0, 0, 0, 0x40000000};
    for (std::uint32_t v : m) {
        w.u32(v);
    }
}

// End of the last sample's presentation: with reordering, a late decode can show early
// and an early one late, so the end is the latest composition time plus one duration.
std::uint64_t presentationEnd(const TrackOut& t) {
    const auto& ctts = t.tables.compositionOffsets;
    const std::uint64_t dur = t.ref->sampleDuration;
    std::uint64_t end = mediaDuration(t);
    for (std::size_t i = 0; i < ctts.size(); ++i) {
        end = std::max<std::uint64_t>(end, i * dur + ctts[i] + dur);
    }
    return end;
}

std::uint64_t presentedDuration(const TrackOut& t, std::uint32_t movieTimescale) {
    const std::uint64_t media = presentationEnd(t);
    const std::uint64_t skip = t.mediaTime > 0 ? static_cast<std::uint64_t>(t.mediaTime) : 0;
    return rescale(media > skip ? media - skip : 0, t.ref->timescale, movieTimescale);
}

void writeMvhd(BoxWriter& w, std::uint32_t timescale, std::uint64_t duration,
               std::uint32_t nextId) {
    const bool wide = needs64(duration);
    const auto box = w.openFull(fourcc("mvhd"), wide ? 1 : 0, 0);
    writeTimes(w, wide);
    w.u32(timescale);
    writeDuration(w, duration, wide);
    w.u32(kUnity);
    w.u16(0x0100);
    w.zeros(10);
    writeMatrix(w);
    w.zeros(24);
    w.u32(nextId);
    w.close(box);
}

void writeTkhd(BoxWriter& w, const TrackOut& t, std::uint64_t duration) {
    const bool wide = needs64(duration);
    const auto box = w.openFull(fourcc("tkhd"), wide ? 1 : 0, t.ref->tkhdFlags | 1);
    writeTimes(w, wide);
    w.u32(t.id);
    w.u32(0);
    writeDuration(w, duration, wide);
    w.raw(t.ref->tkhdTail);
    w.close(box);
}

void writeEdts(BoxWriter& w, const TrackOut& t, std::uint64_t duration) {
    if (t.mediaTime < 0) {
        return;
    }
    const bool wide = needs64(duration) || needs64(static_cast<std::uint64_t>(t.mediaTime));
    const auto edts = w.open(fourcc("edts"));
    const auto elst = w.openFull(fourcc("elst"), wide ? 1 : 0, 0);
    w.u32(1);
    writeDuration(w, duration, wide);
    writeDuration(w, static_cast<std::uint64_t>(t.mediaTime), wide);
    w.u32(kUnity);
    w.close(elst);
    w.close(edts);
}

void writeMdhd(BoxWriter& w, const TrackOut& t) {
    const std::uint64_t duration = mediaDuration(t);
    const bool wide = needs64(duration);
    const auto box = w.openFull(fourcc("mdhd"), wide ? 1 : 0, 0);
    writeTimes(w, wide);
    w.u32(t.ref->timescale);
    writeDuration(w, duration, wide);
    w.u16(t.ref->language);
    w.u16(0);
    w.close(box);
}

void writeMinf(BoxWriter& w, const TrackOut& t) {
    const auto minf = w.open(fourcc("minf"));
    if (!t.ref->mediaHeader.empty()) {
        w.raw(t.ref->mediaHeader);
    } else if (t.ref->handler == fourcc("vide")) {
        const auto vmhd = w.openFull(fourcc("vmhd"), 0, 1);
        w.zeros(8);
        w.close(vmhd);
    } else {
        const auto smhd = w.openFull(fourcc("smhd"), 0, 0);
        w.zeros(4);
        w.close(smhd);
    }
    if (!t.ref->dinf.empty()) {
        w.raw(t.ref->dinf);
    } else {
        const auto dinf = w.open(fourcc("dinf"));
        const auto dref = w.openFull(fourcc("dref"), 0, 0);
        w.u32(1);
        w.close(w.openFull(fourcc("url "), 0, 1)); // media in this file
        w.close(dref);
        w.close(dinf);
    }
    writeStbl(w, t.ref->stsd, t.tables, t.ref->sampleDuration);
    w.close(minf);
}

void writeTrak(BoxWriter& w, const TrackOut& t, std::uint32_t movieTimescale) {
    const std::uint64_t duration = presentedDuration(t, movieTimescale);
    const auto trak = w.open(fourcc("trak"));
    writeTkhd(w, t, duration);
    writeEdts(w, t, duration);
    const auto mdia = w.open(fourcc("mdia"));
    writeMdhd(w, t);
    w.raw(t.ref->hdlr);
    writeMinf(w, t);
    w.close(mdia);
    w.close(trak);
}

} // namespace

std::uint64_t mediaDuration(const TrackOut& track) {
    return static_cast<std::uint64_t>(track.tables.sizes.size()) * track.ref->sampleDuration;
}

std::vector<std::uint8_t> buildMoov(std::uint32_t movieTimescale,
                                    const std::vector<TrackOut>& tracks) {
    BoxWriter w;
    const auto moov = w.open(fourcc("moov"));
    std::uint64_t longest = 0;
    std::uint32_t nextId = 1;
    for (const auto& t : tracks) {
        longest = std::max(longest, presentedDuration(t, movieTimescale));
        nextId = std::max(nextId, t.id + 1);
    }
    writeMvhd(w, movieTimescale, longest, nextId);
    for (const auto& t : tracks) {
        writeTrak(w, t, movieTimescale);
    }
    w.close(moov);
    return w.bytes();
}

} // namespace repair
