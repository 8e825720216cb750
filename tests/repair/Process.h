#pragma once

#include <string>
#include <vector>

struct RunResult {
    int status = -1;    // exit status, or -1 when the program could not run or was killed
    std::string output; // standard output and standard error together
};

// Starts a program from an argument list (no shell) and waits for it.
RunResult runProgram(const std::vector<std::string>& argv);
