#pragma once

#include <cstdint>

namespace repair {

// Scalefactor bands of one window length at one sampling rate: band b holds coefficients
// [offsets[b], offsets[b + 1]).
struct AacBands {
    const std::uint16_t* offsets;
    int count;
};

// samplingIndex: 0 to 12; short: the 128-coefficient windows of an eight-short sequence.
AacBands aacBands(int samplingIndex, bool shortWindows);

// Bands that AAC Main prediction may use, per sampling index.
int aacPredictionBands(int samplingIndex);

} // namespace repair
