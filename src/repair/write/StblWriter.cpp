#include "write/StblWriter.h"

#include <algorithm>
#include <limits>

namespace repair {
namespace {

// Writes (count, value) pairs, as stts and ctts store them.
void writeRuns(BoxWriter& w, std::uint32_t type,
               const std::vector<std::pair<std::uint32_t, std::uint32_t>>& runs,
               std::uint8_t version = 0) {
    const auto box = w.openFull(type, version, 0);
    w.u32(static_cast<std::uint32_t>(runs.size()));
    for (const auto& [count, value] : runs) {
        w.u32(count);
        w.u32(value);
    }
    w.close(box);
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> runsOf(const std::vector<std::uint32_t>& v) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
    for (std::uint32_t x : v) {
        if (runs.empty() || runs.back().second != x) {
            runs.emplace_back(0, x);
        }
        ++runs.back().first;
    }
    return runs;
}

void writeStsz(BoxWriter& w, const TrackTables& t) {
    const auto box = w.openFull(fourcc("stsz"), 0, 0);
    w.u32(t.sizes.empty() ? t.fixedSize : 0);
    w.u32(static_cast<std::uint32_t>(t.sampleCount));
    for (std::uint32_t size : t.sizes) {
        w.u32(size);
    }
    w.close(box);
}

void writeStsc(BoxWriter& w, const std::vector<std::uint32_t>& chunkSamples) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries; // first chunk, samples
    for (std::size_t i = 0; i < chunkSamples.size(); ++i) {
        if (entries.empty() || entries.back().second != chunkSamples[i]) {
            entries.emplace_back(static_cast<std::uint32_t>(i + 1), chunkSamples[i]);
        }
    }
    const auto box = w.openFull(fourcc("stsc"), 0, 0);
    w.u32(static_cast<std::uint32_t>(entries.size()));
    for (const auto& [first, samples] : entries) {
        w.u32(first);
        w.u32(samples);
        w.u32(1); // sample description index
    }
    w.close(box);
}

void writeChunkOffsets(BoxWriter& w, const std::vector<std::uint64_t>& offsets) {
    const bool wide = !offsets.empty() && *std::max_element(offsets.begin(), offsets.end()) >
                                              std::numeric_limits<std::uint32_t>::max();
    const auto box = w.openFull(wide ? fourcc("co64") : fourcc("stco"), 0, 0);
    w.u32(static_cast<std::uint32_t>(offsets.size()));
    for (std::uint64_t o : offsets) {
        if (wide) {
            w.u64(o);
        } else {
            w.u32(static_cast<std::uint32_t>(o));
        }
    }
    w.close(box);
}

} // namespace

void writeStbl(BoxWriter& w, const std::vector<std::uint8_t>& stsd, const TrackTables& t) {
    const auto stbl = w.open(fourcc("stbl"));
    w.raw(stsd);
    writeRuns(w, fourcc("stts"), t.durations);
    if (!t.compositionOffsets.empty()) {
        // Version 1 when an offset is negative, as a file's own ctts may have it.
        const bool negative =
            std::any_of(t.compositionOffsets.begin(), t.compositionOffsets.end(),
                        [](std::uint32_t v) { return static_cast<std::int32_t>(v) < 0; });
        writeRuns(w, fourcc("ctts"), runsOf(t.compositionOffsets), negative ? 1 : 0);
    }
    if (!t.allSync) {
        const auto stss = w.openFull(fourcc("stss"), 0, 0);
        w.u32(static_cast<std::uint32_t>(t.syncSamples.size()));
        for (std::uint32_t s : t.syncSamples) {
            w.u32(s);
        }
        w.close(stss);
    }
    writeStsz(w, t);
    writeStsc(w, t.chunkSamples);
    writeChunkOffsets(w, t.chunkOffsets);
    w.close(stbl);
}

} // namespace repair
