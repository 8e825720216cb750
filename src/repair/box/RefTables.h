#pragma once

#include "box/Box.h"
#include "box/Reference.h"

#include <cstdint>
#include <vector>

namespace repair {

// Readers of a track's sample tables. Entry counts are trusted only as far as the box
// holds entries.

// The payload of a full box with a table: version and flags, entry_count (after
// extraHeader more bytes), then the entries; `entries` is as many as the box really holds.
struct Table {
    std::vector<std::uint8_t> bytes;
    std::size_t headerSize = 8; // version/flags + entry_count
    std::uint64_t entries = 0;
    std::uint64_t declared = 0; // entry_count as written
    const std::uint8_t* entry(std::uint64_t i, std::size_t size) const {
        return bytes.data() + headerSize + i * size;
    }
};
Table readTable(const ByteSource& src, const BoxHeader& box, std::size_t entrySize,
                std::size_t extraHeader = 0);

std::uint32_t dominantDelta(const ByteSource& src, const BoxHeader& stts);
// What stsz says: the one size of every sample, or the first `keep` sizes; count and largest.
struct SizeTable {
    std::uint32_t fixed = 0;
    std::uint64_t count = 0;
    std::uint32_t max = 0;
    std::vector<std::uint32_t> first;
};
SizeTable readSizes(const ByteSource& src, const BoxHeader& stsz, std::size_t keep);

// Where the first `count` samples lie, from the chunk layout and the sizes.
std::vector<RefSample> firstSamples(const std::vector<RefChunk>& chunks, const SizeTable& sizes,
                                    std::size_t count);

std::vector<std::uint32_t> syncSamples(const ByteSource& src, const BoxHeader& stss);
std::vector<RefChunk> chunkLayout(const ByteSource& src, const BoxHeader& stsc,
                                  const BoxHeader& offsets, bool wide);
std::int64_t editMediaTime(const ByteSource& src, const BoxHeader& edts);
// The earliest composition time (decode time plus offset) of the first `count` samples; -1
// when that is before zero or the tables hold no sample.
std::int64_t firstShownTime(const ByteSource& src, const BoxHeader& stts, const BoxHeader& ctts,
                            std::uint64_t count);

} // namespace repair
