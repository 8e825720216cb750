#pragma once

// The process's peak resident set size, and a way to start measuring it afresh, so that
// one process can measure several runs one after another.

#include <cstdio>
#include <fstream>
#include <string>

namespace bench {

// Starts the peak over from the present resident size (Linux: "5" to clear_refs).
// Returns false where the kernel does not offer it; the peak then covers the process's
// whole life.
inline bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    return clear.good();
}

// Peak resident set size in KiB since the start or the last reset; -1 if unknown.
inline long PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        long kib = 0;
        if (std::sscanf(line.c_str(), "VmHWM: %ld kB", &kib) == 1) {
            return kib;
        }
    }
    return -1;
}

} // namespace bench
