#include "codec/AacHuffman.h"

#include <algorithm>
#include <array>

namespace repair {
namespace {

// How a spectral book lays its coefficients out in a symbol.
struct BookShape {
    int dimension;
    int values; // per coefficient
    bool hasSign;
};

constexpr std::array<BookShape, 11> kShapes = {{{4, 3, true},
                                                {4, 3, true},
                                                {4, 3, false},
                                                {4, 3, false},
                                                {2, 9, true},
                                                {2, 9, true},
                                                {2, 8, false},
                                                {2, 8, false},
                                                {2, 13, false},
                                                {2, 13, false},
                                                {2, 17, false}}};

AacHuffman makeSpectral(int number) {
    const AacCodebook& book = aacSpectralBook(number);
    const BookShape& shape = kShapes[static_cast<std::size_t>(number - 1)];
    const auto n = static_cast<std::size_t>(book.size);
    std::vector<std::uint8_t> escapes(n);
    std::vector<std::uint8_t> signs(n);
    for (std::size_t s = 0; s < n; ++s) {
        int symbol = static_cast<int>(s);
        for (int i = 0; i < shape.dimension; ++i, symbol /= shape.values) {
            const int v = symbol % shape.values;
            signs[s] += v != 0 && !shape.hasSign ? 1 : 0;
            escapes[s] += shape.values == 17 && v == 16 ? 1 : 0;
        }
    }
    return AacHuffman(book, escapes, signs);
}

} // namespace

AacHuffman::AacHuffman(const AacCodebook& book, const std::vector<std::uint8_t>& values,
                       const std::vector<std::uint8_t>& bitsAfter)
    : entries_(std::size_t{1} << kRootBits) {
    const auto n = static_cast<std::size_t>(book.size);
    // Short codewords fill every root entry they prefix.
    for (std::size_t s = 0; s < n; ++s) {
        const int len = book.bits[s];
        if (len <= kRootBits) {
            const std::uint32_t first = book.codes[s] << (kRootBits - len);
            for (std::uint32_t i = 0; i < 1u << (kRootBits - len); ++i) {
                entries_[first + i] = {0, 0, static_cast<std::uint8_t>(len + bitsAfter[s]),
                                       values[s]};
            }
        }
    }
    // Long ones share a root entry by their first bits, which leads to a table sized for
    // the longest of them.
    for (std::size_t s = 0; s < n; ++s) {
        const int len = book.bits[s];
        if (len <= kRootBits) {
            continue;
        }
        const std::uint32_t root = book.codes[s] >> (len - kRootBits);
        Entry& r = entries_[root];
        if (r.subBits == 0) {
            int longest = 0;
            for (std::size_t t = 0; t < n; ++t) {
                if (book.bits[t] > kRootBits &&
                    book.codes[t] >> (book.bits[t] - kRootBits) == root) {
                    longest = std::max(longest, book.bits[t] - kRootBits);
                }
            }
            r.next = static_cast<std::uint16_t>(entries_.size());
            r.subBits = static_cast<std::uint8_t>(longest);
            entries_.resize(entries_.size() + (std::size_t{1} << longest));
        }
        const Entry rootEntry = entries_[root];
        const int rest = len - kRootBits;
        const std::uint32_t tail = book.codes[s] & ((1u << rest) - 1);
        const std::uint32_t first = tail << (rootEntry.subBits - rest);
        for (std::uint32_t i = 0; i < 1u << (rootEntry.subBits - rest); ++i) {
            entries_[rootEntry.next + first + i] = {
                0, 0, static_cast<std::uint8_t>(len + bitsAfter[s]), values[s]};
        }
    }
}

const AacHuffman& aacScalefactorHuffman() {
    static const AacHuffman kTable = [] {
        const AacCodebook& book = aacScalefactorBook();
        std::vector<std::uint8_t> values(static_cast<std::size_t>(book.size));
        for (int s = 0; s < book.size; ++s) {
            values[static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(s);
        }
        return AacHuffman(book, values, std::vector<std::uint8_t>(values.size()));
    }();
    return kTable;
}

const AacHuffman& aacSpectralHuffman(int number) {
    static const std::array<AacHuffman, 11> kTables = {
        makeSpectral(1), makeSpectral(2),  makeSpectral(3), makeSpectral(4),
        makeSpectral(5), makeSpectral(6),  makeSpectral(7), makeSpectral(8),
        makeSpectral(9), makeSpectral(10), makeSpectral(11)};
    return kTables[static_cast<std::size_t>(number - 1)];
}

} // namespace repair
