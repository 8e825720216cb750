#include "write/FollowingCopy.h"

#include "box/RepairError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace repair {
namespace {

// Pieces small enough that the copy stays close behind the walk and a finish waits little.
constexpr std::uint64_t kStep = 8u << 20;
// Buffer of the plain read/write copy, where the file system has no in-kernel copy.
constexpr std::size_t kBuffer = 1u << 20;

bool plainCopy(int in, int out, std::uint64_t inAt, std::uint64_t outAt, std::uint64_t n) {
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::uint64_t>(n, kBuffer)));
    while (n > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(n, buf.size()));
        const ssize_t got = ::pread(in, buf.data(), want, static_cast<off_t>(inAt));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            errno = got == 0 ? EIO : errno; // the broken file became shorter under us
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t w = ::pwrite(out, buf.data() + done, static_cast<std::size_t>(got - done),
                                       static_cast<off_t>(outAt) + done);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                errno = w == 0 ? EIO : errno;
                return false;
            }
            done += w;
        }
        inAt += static_cast<std::uint64_t>(got);
        outAt += static_cast<std::uint64_t>(got);
        n -= static_cast<std::uint64_t>(got);
    }
    return true;
}

// The errors of a file system (or kernel) that cannot copy in the kernel, not of the copy.
bool noKernelCopy(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// In-kernel copy where the file systems allow it, plain reads and writes otherwise.
bool copyBytes(int in, int out, std::uint64_t inAt, std::uint64_t outAt, std::uint64_t n) {
    while (n > 0) {
        auto inOff = static_cast<off_t>(inAt);
        auto outOff = static_cast<off_t>(outAt);
        const ssize_t got = ::copy_file_range(in, &inOff, out, &outOff, n, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && noKernelCopy(errno)) {
            return plainCopy(in, out, inAt, outAt, n);
        }
        if (got <= 0) {
            errno = got == 0 ? EIO : errno; // the broken file became shorter under us
            return false;
        }
        inAt += static_cast<std::uint64_t>(got);
        outAt += static_cast<std::uint64_t>(got);
        n -= static_cast<std::uint64_t>(got);
    }
    return true;
}

} // namespace

FollowingCopy::FollowingCopy(int in, int out, std::uint64_t begin, std::uint64_t outAt,
                             std::string path)
    : in_(in), out_(out), begin_(begin), outAt_(outAt), path_(std::move(path)), allowed_(begin),
      copied_(begin), writeback_(out, outAt), thread_([this] { run(); }) {}

FollowingCopy::~FollowingCopy() {
    stop();
}

void FollowingCopy::stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void FollowingCopy::reached(std::uint64_t offset) {
    {
        const std::lock_guard lock(mutex_);
        if (offset < allowed_ + kStep) {
            return;
        }
        allowed_ = offset;
    }
    wake_.notify_one();
}

void FollowingCopy::run() {
    for (;;) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return ending_ || (error_ == 0 && allowed_ > copied_); });
        const std::uint64_t target = allowed_;
        const bool ending = ending_;
        lock.unlock();
        if (error_ != 0 || copied_ >= target) {
            if (ending) {
                return;
            }
            continue;
        }
        const std::uint64_t upTo = std::min(target, copied_ + kStep);
        const std::uint64_t outAt = outAt_ + (copied_ - begin_);
        if (!copyBytes(in_, out_, copied_, outAt, upTo - copied_)) {
            error_ = errno != 0 ? errno : EIO;
            continue;
        }
        copied_ = upTo;
        writeback_.written(outAt_ + (copied_ - begin_));
    }
}

void FollowingCopy::finish(std::uint64_t end) {
    {
        const std::lock_guard lock(mutex_);
        allowed_ = end;
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
    const auto endAt = static_cast<off_t>(outAt_ + (end - begin_));
    if (error_ == 0 && copied_ > end && ::ftruncate(out_, endAt) != 0) {
        error_ = errno;
    }
    if (error_ == 0 && ::lseek(out_, endAt, SEEK_SET) < 0) {
        error_ = errno;
    }
    if (error_ != 0) {
        throw RepairError(ExitCode::OutputFailed,
                          "cannot write " + path_ + ": " + std::strerror(error_));
    }
}

} // namespace repair
