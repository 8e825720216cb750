#pragma once

// The baseline the runner is measured against: the stand-in tool piped into
// "dd bs=256", which reads the same stream in the same block size and does nothing else.

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

inline pid_t spawnWith(const char* program, std::vector<const char*> argv, int fd, int target) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, target);
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, program, &actions, nullptr,
                                    const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        std::fprintf(stderr, "cannot start %s\n", program);
        std::exit(1);
    }
    return pid;
}

// Seconds for: stand-in | dd of=/dev/null bs=256
inline double timeDd() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("pipe2");
        std::exit(1);
    }
    QElapsedTimer timer;
    timer.start();
    const pid_t writer = spawnWith(KESTREL_STANDIN_PATH, {KESTREL_STANDIN_PATH}, fds[1], 1);
    const pid_t reader =
        spawnWith("dd", {"dd", "of=/dev/null", "bs=256", "status=none"}, fds[0], 0);
    close(fds[0]);
    close(fds[1]);
    waitpid(writer, nullptr, 0);
    waitpid(reader, nullptr, 0);
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

} // namespace bench
