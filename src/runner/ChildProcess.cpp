#include "ChildProcess.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace runner {

namespace {

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Owns what posix_spawnp needs so that every exit path releases it.
class SpawnSetup {
public:
    explicit SpawnSetup(int outputFd) {
        posix_spawn_file_actions_init(&actions_);
        // Duplicate first: should the write end sit on fd 0, opening /dev/null there
        // must not close it before the child has its copies. dup2 clears close-on-exec.
        posix_spawn_file_actions_adddup2(&actions_, outputFd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions_, outputFd, STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

        posix_spawnattr_init(&attributes_);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        // Own group, so that the run can be ended as a whole; signals the runner's process
        // ignores or blocks must not carry over into the tool.
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                   POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setpgroup(&attributes_, 0);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
    }
    ~SpawnSetup() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

} // namespace

bool ReapIfEnded(pid_t pid, std::optional<int>* status) {
    for (;;) {
        int waitStatus = 0;
        const pid_t result = ::waitpid(pid, &waitStatus, WNOHANG);
        if (result == pid) {
            if (status != nullptr) {
                *status = waitStatus;
            }
            return true;
        }
        if (result == 0) {
            return false;
        }
        if (errno != EINTR) {
            return true; // ECHILD: nothing of ours left to reap
        }
    }
}

void PidReaper::Adopt(pid_t pid) {
    pids_.push_back(pid);
}

void PidReaper::ReapEnded() {
    std::erase_if(pids_, [](pid_t pid) { return ReapIfEnded(pid); });
}

ChildProcess::~ChildProcess() {
    closeFd(writeEnd_);
    closeFd(readEnd_);
    if (pid_ > 0 && !ReapIfEnded(pid_)) {
        reaper_.Adopt(pid_);
    }
}

int ChildProcess::CreatePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return errno;
    }
    readEnd_ = fds[0];
    writeEnd_ = fds[1];
    // Only the runner's end: the child must keep blocking writes.
    if (::fcntl(readEnd_, F_SETFL, ::fcntl(readEnd_, F_GETFL) | O_NONBLOCK) != 0) {
        const int error = errno;
        closeFd(readEnd_);
        closeFd(writeEnd_);
        return error;
    }
    return 0;
}

bool ChildProcess::Start(const QStringList& arguments) {
    int result = ENOENT;
    if (!arguments.isEmpty()) {
        std::vector<QByteArray> encoded;
        encoded.reserve(arguments.size());
        std::vector<char*> argv;
        for (const QString& argument : arguments) {
            encoded.push_back(QFile::encodeName(argument));
            argv.push_back(encoded.back().data());
        }
        argv.push_back(nullptr);
        const SpawnSetup setup(writeEnd_);
        result = ::posix_spawnp(&pid_, argv[0], setup.actions(), setup.attributes(), argv.data(),
                                environ);
    }
    // Only the child, and what it starts, may hold the write end, or the pipe never breaks.
    closeFd(writeEnd_);
    if (result != 0) {
        pid_ = -1;
        closeFd(readEnd_);
        return false;
    }
    return true;
}

void ChildProcess::CloseReadEnd() {
    closeFd(readEnd_);
}

void ChildProcess::SignalGroup(int sig) const {
    // Until the child is reaped its pid cannot be reused, so the group is still ours.
    if (pid_ > 0) {
        ::kill(-pid_, sig);
    }
}

RunEnding ChildProcess::ReapOrHandOver(std::chrono::microseconds settle) {
    if (pid_ <= 0) {
        return {RunEnding::NotStarted, 0};
    }
    constexpr std::chrono::microseconds step{200};
    std::optional<int> status;
    for (std::chrono::microseconds waited{0}; !ReapIfEnded(pid_, &status); waited += step) {
        if (waited >= settle) {
            reaper_.Adopt(pid_);
            pid_ = -1;
            return {RunEnding::Unknown, 0};
        }
        std::this_thread::sleep_for(step);
    }
    pid_ = -1;
    return status ? RunEnding::FromWaitStatus(*status) : RunEnding{RunEnding::Unknown, 0};
}

} // namespace runner
