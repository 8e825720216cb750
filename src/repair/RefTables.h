#pragma once

#include "Box.h"
#include "Reference.h"

#include <cstdint>
#include <vector>

namespace repair {

// Readers of a reference track's sample tables. Entry counts are trusted only as far
// as the box holds entries.

std::uint32_t dominantDelta(const ByteSource& src, const BoxHeader& stts);
std::uint32_t maxSampleSize(const ByteSource& src, const BoxHeader& stsz, std::uint64_t& count);
std::vector<std::uint32_t> syncSamples(const ByteSource& src, const BoxHeader& stss);
std::vector<RefChunk> chunkLayout(const ByteSource& src, const BoxHeader& stsc,
                                  const BoxHeader& offsets, bool wide);
std::int64_t editMediaTime(const ByteSource& src, const BoxHeader& edts);

} // namespace repair
