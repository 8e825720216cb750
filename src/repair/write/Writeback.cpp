#include "write/Writeback.h"

#include <fcntl.h>

namespace repair {

Writeback::Writeback(int fd, std::uint64_t from)
    : fd_(fd), started_(from), written_(from), thread_([this] { run(); }) {}

Writeback::~Writeback() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void Writeback::written(std::uint64_t upTo) {
    {
        const std::lock_guard lock(mutex_);
        written_ = upTo;
    }
    wake_.notify_one();
}

void Writeback::run() {
    for (;;) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return ending_ || written_ > started_; });
        if (ending_) {
            return;
        }
        const std::uint64_t upTo = written_;
        lock.unlock();
        // A failure shows in the sync that follows.
        ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(upTo - started_),
                          SYNC_FILE_RANGE_WRITE);
        started_ = upTo;
    }
}

} // namespace repair
