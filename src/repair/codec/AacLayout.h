#pragma once

namespace repair {

constexpr int kAacMain = 1;
constexpr int kAacLc = 2;
constexpr int kAacLtp = 4;

// What walking raw_data_blocks needs of the AudioSpecificConfig.
struct AacLayout {
    int objectType = 0; // of the core coder: AAC Main, LC or LTP
    int samplingIndex = 0;
    int channelConfig = 0; // 1 to 7
};

} // namespace repair
