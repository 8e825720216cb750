#include "SpillingBytes.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A file with no name from the start where the file system allows it; otherwise one
// that loses its name at once.
int openUnlinkedFile() {
    // Empty when the folder that TMPDIR names does not exist.
    const QString tempPath = QDir::tempPath();
    if (tempPath.isEmpty()) {
        return -1;
    }
    const QByteArray folder = QFile::encodeName(tempPath);
    const int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    QByteArray path = folder + "/kestrel-output-XXXXXX";
    const int named = ::mkostemp(path.data(), O_CLOEXEC);
    if (named >= 0) {
        ::unlink(path.constData());
    }
    return named;
}

// Writes all of bytes at offset; returns how many were written before an error.
qsizetype writeAll(int fd, const char* data, qsizetype size, qsizetype offset) {
    qsizetype done = 0;
    while (done < size) {
        const ssize_t written = ::pwrite(fd, data + done, static_cast<size_t>(size - done),
                                         static_cast<off_t>(offset + done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            break;
        }
        done += written;
    }
    return done;
}

} // namespace

SpillingBytes::SpillingBytes(qsizetype spillAt, qsizetype writeChunk)
    : spillAt_(spillAt), writeChunk_(writeChunk) {}

SpillingBytes::~SpillingBytes() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void SpillingBytes::Clear() {
    memory_.resize(0);
    fileSize_ = 0;
    fileFailed_ = false;
}

void SpillingBytes::Finish() {
    if (fd_ >= 0) {
        // Only a part left over from an earlier, longer run; the result does not matter.
        [[maybe_unused]] const int result = ::ftruncate(fd_, static_cast<off_t>(fileSize_));
    }
}

void SpillingBytes::Append(QByteArrayView bytes) {
    memory_.append(bytes.data(), bytes.size());
    if (fileFailed_) {
        return;
    }
    if (fd_ < 0) {
        if (memory_.size() > spillAt_) {
            Spill();
        }
    } else if (memory_.size() >= writeChunk_) {
        WriteOut();
    }
}

void SpillingBytes::Spill() {
    fd_ = openUnlinkedFile();
    if (fd_ < 0) {
        fileFailed_ = true;
        return;
    }
    WriteOut();
    // The spilled bytes' memory goes back; later chunks need only writeChunk_ of it.
    memory_.squeeze();
}

void SpillingBytes::WriteOut() {
    const qsizetype written = writeAll(fd_, memory_.constData(), memory_.size(), fileSize_);
    fileSize_ += written;
    if (written < memory_.size()) {
        // Disk full or the like: keep the rest in memory rather than lose it.
        fileFailed_ = true;
        memory_.remove(0, written);
        return;
    }
    memory_.resize(0);
}

QByteArray SpillingBytes::Read(qsizetype from, qsizetype count) const {
    const qsizetype end = std::clamp<qsizetype>(from + std::max<qsizetype>(count, 0), 0, Size());
    from = std::clamp<qsizetype>(from, 0, end);
    count = end - from;
    QByteArray out;
    out.resize(count);
    qsizetype done = 0;
    while (from + done < fileSize_ && done < count) {
        const qsizetype want = std::min(count - done, fileSize_ - (from + done));
        const ssize_t got = ::pread(fd_, out.data() + done, static_cast<size_t>(want),
                                    static_cast<off_t>(from + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            out.truncate(done);
            return out;
        }
        done += got;
    }
    if (done < count) {
        const qsizetype inMemory = from + done - fileSize_;
        std::copy_n(memory_.constData() + inMemory, count - done, out.data() + done);
    }
    return out;
}
