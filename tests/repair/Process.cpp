#include "Process.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

Running startProgram(const std::vector<std::string>& argv) {
    Running run;
    char path[] = "/tmp/repair-test-out-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        return run;
    }
    run.outPath = path;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    posix_spawn_file_actions_adddup2(&actions, fd, 2);
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    if (posix_spawnp(&run.pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        run.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fd);
    return run;
}

RunResult finishProgram(const Running& run, int timeoutSeconds) {
    RunResult r;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    pid_t done = 0;
    while (run.pid > 0 && (done = waitpid(run.pid, &status, timeoutSeconds ? WNOHANG : 0)) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(run.pid, SIGKILL);
            waitpid(run.pid, &status, 0);
            r.output = "(killed after " + std::to_string(timeoutSeconds) + " s)\n";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done == run.pid && WIFEXITED(status)) {
        r.status = WEXITSTATUS(status);
    } else if (done == run.pid && WIFSIGNALED(status)) {
        r.signal = WTERMSIG(status);
    }
    if (!run.outPath.empty()) {
        std::ifstream in(run.outPath, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        r.output += text.str();
        unlink(run.outPath.c_str());
    }
    return r;
}

RunResult runProgram(const std::vector<std::string>& argv, int timeoutSeconds) {
    return finishProgram(startProgram(argv), timeoutSeconds);
}
