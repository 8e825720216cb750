#pragma once

#include "runner/RunEnding.h"

#include <QStringList>

#include <chrono>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace runner {

// Children whose pipe has broken but that had not ended yet. They are reaped later,
// never by waiting on them.
class PidReaper {
public:
    void Adopt(pid_t pid);
    // Reaps every remembered child that has ended by now; never blocks.
    void ReapEnded();
    bool IsEmpty() const { return pids_.empty(); }

private:
    std::vector<pid_t> pids_;
};

// Reaps pid if it has ended (or is no child of ours any more). Never blocks. When it
// reaped the child and status is given, *status receives the child's wait status.
bool ReapIfEnded(pid_t pid, std::optional<int>* status = nullptr);

// One child started from an argument list, its standard output and standard error on
// the write end of one pipe, /dev/null as its standard input, in a process group of its
// own (the group's id is the child's pid). Whatever is still open is closed on
// destruction, and a child not yet reaped then is handed to the reaper.
class ChildProcess {
public:
    explicit ChildProcess(PidReaper& reaper) : reaper_(reaper) {}
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Creates the pipe, both ends close-on-exec, the read end non-blocking. Returns 0, or
    // errno on failure.
    int CreatePipe();

    // Precondition: CreatePipe succeeded. Starts arguments[0], looked up through PATH
    // unless it holds a "/", with the whole list as its argv; the child inherits the
    // environment and the current folder. Closes this process's write end in every case,
    // and the read end too when the start fails. Returns false for every start failure,
    // an empty list included.
    bool Start(const QStringList& arguments);

    // The pipe's read end while open, else -1.
    int ReadEnd() const { return readEnd_; }
    void CloseReadEnd();

    // The child's pid (also its process group id) once started and until reaped, else -1.
    pid_t Pid() const { return pid_; }

    // Sends sig to the child's whole process group; ignored when no child is held.
    void SignalGroup(int sig) const;

    // Call once the pipe has broken: a child exits just after it closes its last
    // descriptor, so it is given up to settle to become reapable. One still running
    // after that goes to the reaper, and its ending is Unknown.
    RunEnding ReapOrHandOver(std::chrono::microseconds settle);

private:
    PidReaper& reaper_;
    int readEnd_ = -1;
    int writeEnd_ = -1;
    pid_t pid_ = -1;
};

} // namespace runner
