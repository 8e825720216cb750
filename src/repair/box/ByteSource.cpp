#include "box/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace repair {
namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "something else";
}

} // namespace

std::vector<std::uint8_t> ByteSource::bytes(std::uint64_t offset, std::size_t count) const {
    std::vector<std::uint8_t> out(count);
    out.resize(read(offset, out.data(), count));
    return out;
}

std::size_t MemorySource::read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
    if (offset >= size_) {
        return 0;
    }
    const std::size_t n = std::min<std::uint64_t>(count, size_ - offset);
    std::memcpy(out, data_ + offset, n);
    return n;
}

FileSource::FileSource(const std::string& path) {
    // Non-blocking only for the open itself: reads of a regular file never wait anyway.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error_ = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        error_ = std::string("it is ") + kindOf(st.st_mode) + ", not a file";
    } else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            error_ = std::strerror(errno);
        }
    }
    if (!error_.empty()) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(st.st_size);
}

FileSource::~FileSource() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::size_t FileSource::read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
    std::size_t done = 0;
    while (done < count && offset + done < size_) {
        const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

} // namespace repair
