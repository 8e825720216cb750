#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace repair {

// Starts the disk writeback of a file's bytes as they are written, on a thread of its own:
// starting it can wait on the disk's queue, and the writer should not. The file is synced
// before it is published, and that sync then finds most of it on its way. Only a hint:
// what was not started when it stops is left to that sync.
class Writeback {
public:
    // Bytes from `from` on are written in order, from one writer.
    Writeback(int fd, std::uint64_t from);
    ~Writeback();
    Writeback(const Writeback&) = delete;
    Writeback& operator=(const Writeback&) = delete;

    // The writer has written up to this offset.
    void written(std::uint64_t upTo);

private:
    void run();

    int fd_;
    std::uint64_t started_; // the thread's own
    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t written_; // guarded by mutex_
    bool ending_ = false;   // guarded by mutex_
    std::thread thread_;
};

} // namespace repair
