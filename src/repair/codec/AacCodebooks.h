#pragma once

#include <cstdint>

namespace repair {

// One of AAC's Huffman codebooks: codeword i, right-aligned, is bits[i] long.
struct AacCodebook {
    const std::uint32_t* codes;
    const std::uint8_t* bits;
    int size;
};

// Scalefactor differences: symbol i stands for i - 60.
const AacCodebook& aacScalefactorBook();
// Spectral books 1 to 11.
const AacCodebook& aacSpectralBook(int number);

} // namespace repair
