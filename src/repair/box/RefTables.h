#pragma once

#include "Box.h"
#include "Reference.h"

#include <cstdint>
#include <vector>

namespace repair {

// Readers of a reference track's sample tables. Entry counts are trusted only as far
// as the box holds entries.

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

} // namespace repair
