#include "box/RefTables.h"

#include "box/Endian.h"

#include <algorithm>
#include <map>

namespace repair {
namespace {

// Chunks of the reference kept for learning its layout: hours of frame-by-frame chunks.
constexpr std::uint64_t kMaxChunks = 1u << 22;

} // namespace

Table readTable(const ByteSource& src, const BoxHeader& box, std::size_t entrySize,
                std::size_t extraHeader) {
    Table t;
    t.bytes = src.bytes(box.payload, static_cast<std::size_t>(box.end - box.payload));
    t.headerSize = 8 + extraHeader;
    if (t.bytes.size() < t.headerSize) {
        return t;
    }
    t.declared = be32(t.bytes.data() + 4 + extraHeader);
    const std::uint64_t fits = (t.bytes.size() - t.headerSize) / entrySize;
    t.entries = std::min(t.declared, fits);
    return t;
}

std::uint32_t dominantDelta(const ByteSource& src, const BoxHeader& stts) {
    const Table t = readTable(src, stts, 8);
    std::map<std::uint32_t, std::uint64_t> counts;
    for (std::uint64_t i = 0; i < t.entries; ++i) {
        counts[be32(t.entry(i, 8) + 4)] += be32(t.entry(i, 8));
    }
    std::uint32_t best = 0;
    std::uint64_t bestCount = 0;
    for (const auto& [delta, count] : counts) {
        if (delta != 0 && count > bestCount) {
            best = delta;
            bestCount = count;
        }
    }
    return best;
}

SizeTable readSizes(const ByteSource& src, const BoxHeader& stsz, std::size_t keep) {
    // stsz: version/flags, sample_size, sample_count, then the table.
    const Table t = readTable(src, stsz, 4, 4);
    SizeTable out;
    if (t.bytes.size() < 12) {
        return out;
    }
    out.fixed = be32(t.bytes.data() + 4);
    out.count = out.fixed != 0 ? be32(t.bytes.data() + 8) : t.entries;
    out.max = out.fixed;
    for (std::uint64_t i = 0; out.fixed == 0 && i < t.entries; ++i) {
        const std::uint32_t size = be32(t.entry(i, 4));
        out.max = std::max(out.max, size);
        if (i < keep) {
            out.first.push_back(size);
        }
    }
    return out;
}

std::vector<RefSample> firstSamples(const std::vector<RefChunk>& chunks, const SizeTable& sizes,
                                    std::size_t count) {
    std::vector<RefSample> out;
    for (const auto& chunk : chunks) {
        std::uint64_t at = chunk.offset;
        for (std::uint32_t i = 0; i < chunk.samples && out.size() < count; ++i) {
            const std::size_t n = out.size();
            const std::uint32_t size =
                sizes.fixed != 0 ? sizes.fixed : (n < sizes.first.size() ? sizes.first[n] : 0);
            if (size == 0) {
                return out;
            }
            out.push_back({at, size});
            at += size;
        }
        if (out.size() >= count) {
            break;
        }
    }
    return out;
}

std::vector<std::uint32_t> syncSamples(const ByteSource& src, const BoxHeader& stss) {
    const Table t = readTable(src, stss, 4);
    std::vector<std::uint32_t> out;
    out.reserve(t.entries);
    for (std::uint64_t i = 0; i < t.entries; ++i) {
        out.push_back(be32(t.entry(i, 4)));
    }
    return out;
}

std::vector<RefChunk> chunkLayout(const ByteSource& src, const BoxHeader& stsc,
                                  const BoxHeader& offsets, bool wide) {
    const std::size_t offsetSize = wide ? 8 : 4;
    Table co = readTable(src, offsets, offsetSize);
    co.entries = std::min<std::uint64_t>(co.entries, kMaxChunks);
    const Table sc = readTable(src, stsc, 12);
    std::vector<RefChunk> out(co.entries);
    for (std::uint64_t i = 0; i < co.entries; ++i) {
        out[i].offset = wide ? be64(co.entry(i, 8)) : be32(co.entry(i, 4));
    }
    for (std::uint64_t e = 0; e < sc.entries; ++e) {
        const std::uint64_t first = be32(sc.entry(e, 12));
        const std::uint32_t perChunk = be32(sc.entry(e, 12) + 4);
        const std::uint64_t next = e + 1 < sc.entries ? be32(sc.entry(e + 1, 12)) : co.entries + 1;
        for (std::uint64_t c = std::max<std::uint64_t>(first, 1); c < next && c <= co.entries;
             ++c) {
            out[c - 1].samples = perChunk;
        }
    }
    return out;
}

std::int64_t editMediaTime(const ByteSource& src, const BoxHeader& edts) {
    const auto elst = findChild(src, edts.payload, edts.end, fourcc("elst"));
    if (!elst) {
        return -1;
    }
    const auto head = src.bytes(elst->payload, 8);
    if (head.size() < 8) {
        return -1;
    }
    const bool v1 = head[0] == 1;
    const std::size_t entrySize = v1 ? 20 : 12;
    const Table t = readTable(src, *elst, entrySize);
    // The first edit that is not empty says where presentation starts in the media.
    for (std::uint64_t i = 0; i < t.entries; ++i) {
        const std::uint8_t* e = t.entry(i, entrySize);
        const std::int64_t mediaTime =
            v1 ? static_cast<std::int64_t>(be64(e + 8)) : static_cast<std::int32_t>(be32(e + 4));
        if (mediaTime >= 0) {
            return mediaTime;
        }
    }
    return -1;
}

std::int64_t firstShownTime(const ByteSource& src, const BoxHeader& stts, const BoxHeader& ctts,
                            std::uint64_t count) {
    const Table times = readTable(src, stts, 8);
    const Table offsets = readTable(src, ctts, 8);
    // Version 1 offsets are signed.
    const bool signedOffsets = !offsets.bytes.empty() && offsets.bytes[0] == 1;
    std::int64_t earliest = -1;
    std::int64_t dts = 0;
    std::uint64_t t = 0, o = 0, tLeft = 0, oLeft = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        while (tLeft == 0 && t < times.entries) {
            tLeft = be32(times.entry(t++, 8));
        }
        while (oLeft == 0 && o < offsets.entries) {
            oLeft = be32(offsets.entry(o++, 8));
        }
        if (tLeft == 0 || oLeft == 0) {
            break;
        }
        const std::uint32_t raw = be32(offsets.entry(o - 1, 8) + 4);
        const std::int64_t offset = signedOffsets ? static_cast<std::int32_t>(raw) : raw;
        const std::int64_t shown = dts + offset;
        earliest = i == 0 ? shown : std::min(earliest, shown);
        dts += be32(times.entry(t - 1, 8) + 4);
        --tLeft;
        --oLeft;
    }
    return std::max<std::int64_t>(earliest, -1);
}

} // namespace repair
