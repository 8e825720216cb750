#pragma once

#include <cstdint>
#include <string>

// untrunc-w on a large recording laid out the way a kind of camera writes it (by default
// Sony's: avc1 + twos + fixed-size rtmd, 64-bit mdat, co64), cut before its moov.
struct CameraBench {
    std::string kind = "sony-avc";
    std::string dir;                // the cut recording is kept here between runs
    std::uint64_t megabytes = 4400; // past 4 GiB: 64-bit offsets throughout
    int runs = 1;
    bool keep = false; // keep the cut recording for the next run
};

// Prints the times against cp and the peak memory; non-zero when it could not measure.
int runCameraBench(const CameraBench& settings);
