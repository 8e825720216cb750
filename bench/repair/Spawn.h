#pragma once

#include <string>
#include <vector>

struct Timed {
    int status = -1;    // exit status, -1 when it did not run or was killed
    double seconds = 0; // wall-clock time
    long maxRssKb = 0;  // peak resident memory of the child
};

// Runs a program from an argument list (no shell), its standard output going to outPath
// (e.g. /dev/null), and measures it.
Timed runTimed(const std::vector<std::string>& argv, const std::string& outPath);

// Seconds a copy of `from` takes when it is synced to disk before it ends, as untrunc-w
// syncs its result before publishing it. Both start with no writeback pending.
double syncedCopySeconds(const std::string& from, const std::string& to);
