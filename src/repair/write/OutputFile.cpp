#include "write/OutputFile.h"

#include "box/Endian.h"
#include "box/RepairError.h"
#include "write/FollowingCopy.h"
#include "write/ResultFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace repair {
namespace {

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

// The header in the form chosen before the payload's final size was known: the 64-bit
// form is valid for any size.
std::vector<std::uint8_t> mdatHeader(std::uint64_t payload, std::uint64_t form) {
    std::vector<std::uint8_t> h;
    if (form == 16) {
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
               const WalkDuringCopy& walk, const MoovFor& moovFor) {
    const std::uint64_t form = mdatHeaderSize(plan.copyEnd - plan.copyBegin);
    writeAll(fd, plan.head.data(), plan.head.size(), tmp);
    const auto placeholder = mdatHeader(0, form);
    writeAll(fd, placeholder.data(), placeholder.size(), tmp);
    const std::uint64_t payloadStart = plan.head.size() + form;
    std::uint64_t end = plan.copyEnd;
    {
        FollowingCopy copy(broken.fd(), fd, plan.copyBegin, payloadStart, tmp);
        if (walk) {
            end = std::min(walk([&copy](std::uint64_t at) { copy.reached(at); }), plan.copyEnd);
        }
        copy.finish(std::max(end, plan.copyBegin));
    }
    const auto header = mdatHeader(end - plan.copyBegin, form);
    if (::pwrite(fd, header.data(), header.size(), static_cast<off_t>(plan.head.size())) !=
        static_cast<ssize_t>(header.size())) {
        fail("write", tmp);
    }
    const auto moov = moovFor(payloadStart);
    writeAll(fd, moov.data(), moov.size(), tmp);
}

} // namespace

std::uint64_t mdatHeaderSize(std::uint64_t payload) {
    return payload + 8 > std::numeric_limits<std::uint32_t>::max() ? 16 : 8;
}

void writeOutput(const OutputPlan& plan, const FileSource& broken, const WalkDuringCopy& walk,
                 const MoovFor& moovFor) {
    ResultFile out(plan.path);
    try {
        writeFile(out.fd(), out.name(), plan, broken, walk, moovFor);
        out.publish();
    } catch (const RepairError& e) {
        if (!plan.keepTmp) {
            throw;
        }
        throw RepairError(e.code(), std::string(e.what()) + "; " + out.keepAs(plan.path + ".tmp"));
    }
}

} // namespace repair
