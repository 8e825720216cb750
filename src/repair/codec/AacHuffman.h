#pragma once

#include "codec/AacBits.h"
#include "codec/AacCodebooks.h"

#include <cstdint>
#include <vector>

namespace repair {

// A table-driven decoder for one AAC codebook: the first 9 bits index a table whose long
// codewords point on into a second one. Each symbol decodes to a value of the caller's
// choosing (what a walk needs to know of it, not the coefficients), and may take a number
// of bits after its codeword along with it.
class AacHuffman {
public:
    AacHuffman(const AacCodebook& book, const std::vector<std::uint8_t>& values,
               const std::vector<std::uint8_t>& bitsAfter);

    // Takes one codeword; the codebooks are complete, so any bits make one.
    std::uint8_t decode(AacBits& bits) const {
        const std::uint32_t w = bits.peek();
        Entry e = entries_[w >> (32 - kRootBits)];
        if (e.subBits != 0) {
            e = entries_[e.next + ((w << kRootBits) >> (32 - e.subBits))];
        }
        bits.skip(e.length);
        return e.value;
    }

private:
    static constexpr int kRootBits = 9;
    struct Entry {
        std::uint16_t next = 0; // first entry of the second table
        std::uint8_t subBits = 0;
        std::uint8_t length = 0; // of the codeword and the bits after it
        std::uint8_t value = 0;
    };
    std::vector<Entry> entries_;
};

// Scalefactor differences: the value is the symbol (difference + 60).
const AacHuffman& aacScalefactorHuffman();

// Spectral books 1 to 11: a codeword is taken with its sign bits; the value is the number
// of escape sequences that follow (book 11 only).
const AacHuffman& aacSpectralHuffman(int number);

} // namespace repair
