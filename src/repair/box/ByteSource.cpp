#include "box/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace repair {

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
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ >= 0) {
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
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
