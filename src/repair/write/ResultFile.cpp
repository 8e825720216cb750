#include "write/ResultFile.h"

#include "box/RepairError.h"
#include "write/SignalCleanup.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/random.h>
#include <unistd.h>

namespace repair {
namespace {

constexpr int kNameTries = 100;

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw RepairError(ExitCode::OutputFailed,
                      "cannot " + what + " " + path + ": " + std::strerror(errno));
}

// "<path>.XXXXXXXX.tmp" with eight random letters or digits.
std::string uniqueName(const std::string& path) {
    static std::mt19937_64 random = [] {
        std::uint64_t initial = 0;
        if (::getrandom(&initial, sizeof initial, 0) != sizeof initial) {
            initial = static_cast<std::uint64_t>(
                          std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      static_cast<std::uint64_t>(::getpid()) << 32;
        }
        return std::mt19937_64(initial);
    }();
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = path + ".";
    for (int i = 0; i < 8; ++i) {
        name += kChars[random() % (sizeof kChars - 1)];
    }
    return name + ".tmp";
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The new entry lasts a power cut too.
void syncFolder(const std::string& path) {
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

ResultFile::ResultFile(std::string path) : path_(std::move(path)) {
    if (!openUnnamed()) {
        openNamed();
    }
}

ResultFile::~ResultFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!own_.empty()) {
        SignalsHeld held;
        ::unlink(own_.c_str());
        keepOnSignal();
    }
}

// An unnamed file gets its name by linking /proc/self/fd/N, so /proc must be there.
bool ResultFile::openUnnamed() {
    if (::access("/proc/self/fd", X_OK) != 0) {
        return false;
    }
    fd_ = ::open(folderOf(path_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    return fd_ >= 0;
}

void ResultFile::openNamed() {
    for (int i = 0; i < kNameTries; ++i) {
        const std::string name = uniqueName(path_);
        SignalsHeld held;
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            own_ = name;
            removeOnSignal(own_);
            return;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    fail("create a temporary file for", path_);
}

bool ResultFile::linkUnnamed(const std::string& to) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int i = 0; i < kNameTries; ++i) {
        const std::string link = uniqueName(path_);
        bool linked =
            ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, link.c_str(), AT_SYMLINK_FOLLOW) == 0;
        if (!linked && errno != EEXIST) {
            const int err = errno;
            linked = ::linkat(fd_, "", AT_FDCWD, link.c_str(), AT_EMPTY_PATH) == 0;
            errno = !linked && errno != EEXIST ? err : errno;
        }
        if (!linked && errno == EEXIST) {
            continue;
        }
        if (!linked) {
            return false;
        }
        if (std::rename(link.c_str(), to.c_str()) != 0) {
            // Once unlinked again it could never be linked: it keeps this name instead.
            const int err = errno;
            own_ = link;
            removeOnSignal(own_);
            errno = err;
            return false;
        }
        return true;
    }
    return false;
}

bool ResultFile::renameTo(const std::string& to) {
    SignalsHeld held;
    if (own_.empty()) {
        return linkUnnamed(to);
    }
    if (std::rename(own_.c_str(), to.c_str()) != 0) {
        return false;
    }
    keepOnSignal();
    own_.clear();
    return true;
}

void ResultFile::publish() {
    if (::fsync(fd_) != 0) {
        fail("finish", name());
    }
    if (!renameTo(path_)) {
        fail("write the result as", path_);
    }
    syncFolder(path_);
}

std::string ResultFile::keepAs(const std::string& to) {
    if (renameTo(to)) {
        return "the partial result is kept as " + to;
    }
    return "the partial result could not be kept as " + to + ": " + std::strerror(errno);
}

} // namespace repair
