#pragma once

#include <sys/wait.h>

// How the last command a runner started came to an end.
struct RunEnding {
    enum Kind {
        NotStarted, // no child was started
        Exited,     // code is its exit status
        Signalled,  // code is the signal that ended it
        Unknown     // still running when its output closed, or reaped by someone else
    };
    Kind kind = NotStarted;
    int code = 0;

    static RunEnding FromWaitStatus(int status) {
        if (WIFEXITED(status)) {
            return {Exited, WEXITSTATUS(status)};
        }
        if (WIFSIGNALED(status)) {
            return {Signalled, WTERMSIG(status)};
        }
        return {Unknown, 0};
    }

    friend bool operator==(const RunEnding&, const RunEnding&) = default;
};
