// One channel's coded spectrum (individual_channel_stream) walked for its length only:
// every field is read or skipped, spectral codewords are decoded for the sign bits and
// escapes that follow them, and nothing is dequantised. The checks are those of
// libavcodec's decoder, so that a frame is taken here exactly when it would decode there.
#include "codec/AacIcs.h"

#include "codec/AacBands.h"
#include "codec/AacHuffman.h"

#include <algorithm>
#include <bit>

namespace repair {
namespace {

constexpr int kMaxBands = 64;
// Section codebooks: none, the eleven Huffman books, a reserved one, noise (13) and
// intensity (14, 15).
constexpr int kReservedBook = 12;
constexpr int kNoiseBook = 13;
constexpr int kScaleDiffZero = 60;
constexpr int kNoiseStartBits = 9;

using Books = std::uint8_t[8 * kMaxBands];

bool readSections(AacBits& bits, const AacWindows& w, Books& books) {
    const int lengthBits = w.eightShort ? 3 : 5;
    const std::uint32_t more = (1u << lengthBits) - 1;
    for (int g = 0; g < w.groups; ++g) {
        int band = 0;
        while (band < w.maxSfb) {
            const auto book = static_cast<std::uint8_t>(bits.read(4));
            if (book == kReservedBook) {
                return false;
            }
            int end = band;
            std::uint32_t step = 0;
            do {
                step = bits.read(lengthBits);
                end += static_cast<int>(step);
                if (bits.overrun() || end > w.maxSfb) {
                    return false;
                }
            } while (step == more);
            for (; band < end; ++band) {
                books[g * kMaxBands + band] = book;
            }
        }
    }
    return true;
}

bool readScalefactors(AacBits& bits, const AacWindows& w, const Books& books, int globalGain) {
    const AacHuffman& huffman = aacScalefactorHuffman();
    int scale = globalGain;
    bool firstNoise = true;
    for (int g = 0; g < w.groups; ++g) {
        for (int band = 0; band < w.maxSfb; ++band) {
            const int book = books[g * kMaxBands + band];
            if (book == 0) {
                continue;
            }
            if (book == kNoiseBook && firstNoise) {
                bits.skip(kNoiseStartBits); // the first noise energy is sent as is
                firstNoise = false;
                continue;
            }
            const int diff = huffman.decode(bits) - kScaleDiffZero;
            if (book >= kNoiseBook) {
                continue; // noise energies and intensity positions have no range to keep
            }
            scale += diff;
            if (scale < 0 || scale > 255) {
                return false;
            }
        }
    }
    return true;
}

bool readPulses(AacBits& bits, const AacBands& bands) {
    const int count = static_cast<int>(bits.read(2)) + 1;
    const int band = static_cast<int>(bits.read(6));
    if (band >= bands.count) {
        return false;
    }
    const int end = bands.offsets[bands.count];
    int at = bands.offsets[band];
    for (int i = 0; i < count; ++i) {
        at += static_cast<int>(bits.read(5));
        if (at >= end) {
            return false;
        }
        bits.skip(4); // amplitude
    }
    return true;
}

bool readTns(AacBits& bits, const AacLayout& layout, const AacWindows& w) {
    const int s = w.eightShort ? 1 : 0;
    const int maxOrder = s ? 7 : layout.objectType == kAacMain ? 20 : 12;
    for (int window = 0; window < (s ? 8 : 1); ++window) {
        const int filters = static_cast<int>(bits.read(2 - s));
        if (filters == 0) {
            continue;
        }
        const int resolution = static_cast<int>(bits.read(1));
        for (int f = 0; f < filters; ++f) {
            bits.skip(static_cast<std::size_t>(6 - 2 * s)); // length
            const int order = static_cast<int>(bits.read(5 - 2 * s));
            if (order > maxOrder) {
                return false;
            }
            if (order > 0) {
                bits.skip(1); // direction
                const int compress = static_cast<int>(bits.read(1));
                bits.skip(static_cast<std::size_t>(order * (resolution + 3 - compress)));
            }
        }
    }
    return true;
}

// An escape: N ones, a zero, then N + 4 bits; libavcodec takes N up to 8.
bool skipEscape(AacBits& bits) {
    const int ones = std::countl_one(bits.peek());
    if (ones > 8) {
        return false;
    }
    bits.skip(static_cast<std::size_t>(2 * ones + 5));
    return true;
}

bool readSpectrum(AacBits& bits, const AacLayout& layout, const AacWindows& w, const Books& books) {
    const AacBands bands = aacBands(layout.samplingIndex, w.eightShort);
    for (int g = 0; g < w.groups; ++g) {
        for (int band = 0; band < w.maxSfb; ++band) {
            const int book = books[g * kMaxBands + band];
            if (book == 0 || book >= kReservedBook) {
                continue; // nothing coded: zero, noise or intensity
            }
            const int width = bands.offsets[band + 1] - bands.offsets[band];
            const int codewords = width * w.groupLength[g] / (book <= 4 ? 4 : 2);
            const AacHuffman& huffman = aacSpectralHuffman(book);
            for (int i = 0; i < codewords; ++i) {
                for (int e = huffman.decode(bits); e > 0; --e) { // with its sign bits
                    if (!skipEscape(bits)) {
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

// gain_control_data: per band, adjustments of every window the sequence has.
void skipGainControl(AacBits& bits, const AacWindows& w) {
    struct Mode {
        int windows;
        bool firstDiffers; // the first window's adjustment positions take 4 bits
        int positionBits;
    };
    static constexpr Mode kModes[4] = {{1, false, 5}, {2, true, 2}, {8, false, 2}, {2, true, 5}};
    const Mode& m = kModes[w.sequence];
    const int bands = static_cast<int>(bits.read(2));
    for (int b = 0; b < bands; ++b) {
        for (int window = 0; window < m.windows; ++window) {
            const int adjustments = static_cast<int>(bits.read(3));
            const int positionBits = window == 0 && m.firstDiffers ? 4 : m.positionBits;
            bits.skip(static_cast<std::size_t>(adjustments * (4 + positionBits)));
        }
    }
}

} // namespace

void skipLtp(AacBits& bits, int maxSfb) {
    bits.skip(11 + 3); // lag, coefficient
    bits.skip(static_cast<std::size_t>(std::min(maxSfb, 40)));
}

bool readIcsInfo(AacBits& bits, const AacLayout& layout, AacWindows& w) {
    bits.skip(1); // reserved; libavcodec minds it only when told to be strict
    w.sequence = static_cast<int>(bits.read(2));
    w.eightShort = w.sequence == 2;
    bits.skip(1); // window shape
    w.groups = 1;
    w.groupLength[0] = 1;
    w.predictor = false;
    if (w.eightShort) {
        w.maxSfb = static_cast<int>(bits.read(4));
        for (int i = 0; i < 7; ++i) {
            if (bits.flag()) {
                ++w.groupLength[w.groups - 1];
            } else {
                w.groupLength[w.groups++] = 1;
            }
        }
    } else {
        w.maxSfb = static_cast<int>(bits.read(6));
        w.predictor = bits.flag();
        if (w.predictor && layout.objectType == kAacLc) {
            return false;
        }
        if (w.predictor && layout.objectType == kAacMain) {
            if (bits.flag()) {
                const std::uint32_t resetGroup = bits.read(5);
                if (resetGroup == 0 || resetGroup > 30) {
                    return false;
                }
            }
            bits.skip(static_cast<std::size_t>(
                std::min(w.maxSfb, aacPredictionBands(layout.samplingIndex))));
        } else if (w.predictor && bits.flag()) {
            skipLtp(bits, w.maxSfb);
        }
    }
    return w.maxSfb <= aacBands(layout.samplingIndex, w.eightShort).count;
}

bool readIcs(AacBits& bits, const AacLayout& layout, AacWindows& w, bool commonWindow) {
    const int globalGain = static_cast<int>(bits.read(8));
    if (!commonWindow && !readIcsInfo(bits, layout, w)) {
        return false;
    }
    Books books;
    if (!readSections(bits, w, books) || !readScalefactors(bits, w, books, globalGain)) {
        return false;
    }
    if (bits.flag()) { // pulse data, long windows only
        if (w.eightShort || !readPulses(bits, aacBands(layout.samplingIndex, false))) {
            return false;
        }
    }
    if (bits.flag() && !readTns(bits, layout, w)) {
        return false;
    }
    if (bits.flag()) {
        skipGainControl(bits, w); // AAC SSR's: libavcodec reads it past and decodes without it
    }
    return readSpectrum(bits, layout, w, books) && !bits.overrun();
}

} // namespace repair
