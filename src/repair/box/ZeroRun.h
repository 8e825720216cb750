#pragma once

#include "box/ByteSource.h"

#include <cstdint>

namespace repair {

// Bytes of the run of zeros that ends [begin, end) of the file: a camera that preallocates
// its file leaves one after the media when recording stops abruptly, often far longer than
// the media. Exact for runs of up to 64 MiB, which are read whole. A longer run is found on
// single blocks: at doubling distances back from the end, halving between, then across the
// run found, so that a stretch of zeros amid the media is not taken for its end. Data that
// lies beyond such a stretch and between all the blocks read goes unseen. The blocks read
// grow with the logarithm of the length.
std::uint64_t trailingZeros(const ByteSource& file, std::uint64_t begin, std::uint64_t end);

} // namespace repair
