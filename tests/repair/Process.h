#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct RunResult {
    int status = -1;    // exit status, or -1 when the program could not run or was killed
    int signal = 0;     // the signal that ended it, if one did
    std::string output; // standard output and standard error together
};

// A program started and not yet waited for.
struct Running {
    pid_t pid = -1;
    std::string outPath; // where its output goes
};

// Starts a program from an argument list (no shell).
Running startProgram(const std::vector<std::string>& argv);
// Waits for it; one still running after timeoutSeconds (0: no limit) is killed.
RunResult finishProgram(const Running& run, int timeoutSeconds = 0);
// Both.
RunResult runProgram(const std::vector<std::string>& argv, int timeoutSeconds = 0);
