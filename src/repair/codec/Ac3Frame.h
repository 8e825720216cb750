#pragma once

#include "box/ByteSource.h"

#include <cstdint>

namespace repair {

constexpr int kAc3BlocksPerSample = 6;
constexpr int kEac3Independent = 0;
constexpr int kEac3Dependent = 1;

// One AC-3 or E-AC-3 syncframe as its header tells it.
struct SyncFrame {
    bool header = false; // the header parses
    bool whole = false;  // all of it before the limit, and its CRCs hold
    std::uint32_t size = 0;
    int streamType = kEac3Independent;
    int substream = 0;
    int blocks = kAc3BlocksPerSample;
};

// The syncframe at pos, read no further than limit.
SyncFrame syncFrameAt(const ByteSource& src, std::uint64_t pos, std::uint64_t limit);

// The end of the run of whole syncframes from pos on, each right after the one before;
// pos when none starts there.
std::uint64_t syncFramesEnd(const ByteSource& src, std::uint64_t pos, std::uint64_t limit);

} // namespace repair
