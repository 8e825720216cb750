#include "Spawn.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

Timed runTimed(const std::vector<std::string>& argv, const std::string& outPath) {
    Timed t;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (rc == 0 && wait4(pid, &status, 0, &usage) == pid) {
        t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        t.maxRssKb = usage.ru_maxrss;
        t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return t;
}

double syncedCopySeconds(const std::string& from, const std::string& to) {
    runTimed({"sync"}, "/dev/null");
    const double s =
        runTimed({"dd", "if=" + from, "of=" + to, "bs=1M", "conv=fsync", "status=none"},
                 "/dev/null")
            .seconds;
    std::remove(to.c_str());
    return s;
}
