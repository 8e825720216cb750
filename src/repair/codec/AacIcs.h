#pragma once

#include "codec/AacBits.h"
#include "codec/AacLayout.h"

#include <cstdint>

namespace repair {

// What ics_info says of one channel's windows.
struct AacWindows {
    int sequence = 0; // window_sequence: long, long start, eight short, long stop
    bool eightShort = false;
    int maxSfb = 0;
    int groups = 1;
    std::uint8_t groupLength[8] = {1};
    bool predictor = false; // predictor_data_present, long windows only
};

// Each of these reads its part of a frame and answers false where libavcodec would refuse
// the frame.

bool readIcsInfo(AacBits& bits, const AacLayout& layout, AacWindows& w);
// individual_channel_stream; with a common window, w holds the channel pair's ics_info.
bool readIcs(AacBits& bits, const AacLayout& layout, AacWindows& w, bool commonWindow);
// ltp_data of a long window.
void skipLtp(AacBits& bits, int maxSfb);

} // namespace repair
