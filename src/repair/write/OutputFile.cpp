#include "write/OutputFile.h"

#include "box/Endian.h"
#include "box/RepairError.h"
#include "write/ResultFile.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace repair {
namespace {

constexpr std::size_t kCopyBuffer = 1u << 20;

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw RepairError(ExitCode::OutputFailed,
                      "cannot " + what + " " + path + ": " + std::strerror(errno));
}

void writeAll(int fd, const std::uint8_t* p, std::size_t n, const std::string& path) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            fail("write", path);
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
}

// In-kernel copy where the file system allows it, plain reads and writes otherwise.
void copyRange(const FileSource& in, int out, std::uint64_t begin, std::uint64_t end,
               const std::string& path) {
    auto offIn = static_cast<off_t>(begin);
    std::uint64_t left = end - begin;
    while (left > 0) {
        const ssize_t n = ::copy_file_range(in.fd(), &offIn, out, nullptr, left, 0);
        if (n <= 0) {
            break;
        }
        left -= static_cast<std::uint64_t>(n);
    }
    std::vector<std::uint8_t> buf(left > 0 ? kCopyBuffer : 0);
    while (left > 0) {
        const std::size_t want = left < buf.size() ? static_cast<std::size_t>(left) : buf.size();
        const std::size_t got = in.read(static_cast<std::uint64_t>(offIn), buf.data(), want);
        if (got == 0) {
            fail("read media for", path);
        }
        writeAll(out, buf.data(), got, path);
        offIn += static_cast<off_t>(got);
        left -= got;
    }
}

std::vector<std::uint8_t> mdatHeader(std::uint64_t payload) {
    std::vector<std::uint8_t> h;
    if (mdatHeaderSize(payload) == 16) {
        putBe32(h, 1);
        putBe32(h, fourcc("mdat"));
        putBe64(h, payload + 16);
    } else {
        putBe32(h, static_cast<std::uint32_t>(payload + 8));
        putBe32(h, fourcc("mdat"));
    }
    return h;
}

void writeFile(int fd, const std::string& tmp, const OutputPlan& plan, const FileSource& broken,
               const std::function<std::vector<std::uint8_t>(std::uint64_t)>& moovFor) {
    const std::uint64_t payload = plan.copyEnd - plan.copyBegin;
    const auto header = mdatHeader(payload);
    writeAll(fd, plan.head.data(), plan.head.size(), tmp);
    writeAll(fd, header.data(), header.size(), tmp);
    copyRange(broken, fd, plan.copyBegin, plan.copyEnd, tmp);
    const auto moov = moovFor(plan.head.size() + header.size());
    writeAll(fd, moov.data(), moov.size(), tmp);
}

} // namespace

std::uint64_t mdatHeaderSize(std::uint64_t payload) {
    return payload + 8 > std::numeric_limits<std::uint32_t>::max() ? 16 : 8;
}

void writeOutput(const OutputPlan& plan, const FileSource& broken,
                 const std::function<std::vector<std::uint8_t>(std::uint64_t)>& moovFor) {
    ResultFile out(plan.path);
    try {
        writeFile(out.fd(), out.name(), plan, broken, moovFor);
        out.publish();
    } catch (const RepairError& e) {
        if (!plan.keepTmp) {
            throw;
        }
        throw RepairError(e.code(), std::string(e.what()) + "; " + out.keepAs(plan.path + ".tmp"));
    }
}

} // namespace repair
