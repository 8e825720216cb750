#include "write/SignalCleanup.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace repair {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGPIPE};

// The handler reads only these: a fixed buffer and a flag set after it is filled.
char gPath[4096];
volatile sig_atomic_t gArmed = 0;

sigset_t cleanupSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals) {
        sigaddset(&set, sig);
    }
    return set;
}

extern "C" void removeAndEnd(int sig) {
    const int saved = errno;
    if (gArmed) {
        ::unlink(gPath);
    }
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    // Pending until the handler returns, then it ends the program with the signal's status.
    ::raise(sig);
    errno = saved;
}

void installOnce() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    struct sigaction act {};
    act.sa_handler = removeAndEnd;
    act.sa_mask = cleanupSignals();
    for (int sig : kSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
            ::sigaction(sig, &act, nullptr);
        }
    }
}

} // namespace

bool removeOnSignal(const std::string& path) {
    installOnce();
    gArmed = 0;
    if (path.size() >= sizeof gPath) {
        return false;
    }
    std::memcpy(gPath, path.c_str(), path.size() + 1);
    gArmed = 1;
    return true;
}

void keepOnSignal() {
    gArmed = 0;
}

SignalsHeld::SignalsHeld() {
    const sigset_t set = cleanupSignals();
    pthread_sigmask(SIG_BLOCK, &set, &old_);
}

SignalsHeld::~SignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

} // namespace repair
