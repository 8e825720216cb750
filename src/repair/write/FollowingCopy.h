#pragma once

#include "write/Writeback.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace repair {

// Copies the broken file's media bytes into the output on a thread of its own while the
// walk reads them, never further than the walk has come: the copy then costs about what
// the slower of the two costs, not their sum, and never copies a preallocated tail the
// walk did not reach. The copied bytes are the source's own, so where the walk finally
// ends only decides how many of them are kept.
class FollowingCopy {
public:
    // Copies in[begin, ...) to out[outAt, ...); path names the output in messages.
    FollowingCopy(int in, int out, std::uint64_t begin, std::uint64_t outAt, std::string path);
    ~FollowingCopy();
    FollowingCopy(const FollowingCopy&) = delete;
    FollowingCopy& operator=(const FollowingCopy&) = delete;

    // The walk has read the media up to this input offset.
    void reached(std::uint64_t offset);

    // Ends with exactly in[begin, end) copied: copies what is left or cuts off what ran
    // past. Throws RepairError (output failed) if a write failed.
    void finish(std::uint64_t end);

private:
    void run();
    bool copyPiece(std::uint64_t upTo);
    void stop();

    int in_;
    int out_;
    std::uint64_t begin_;
    std::uint64_t outAt_;
    std::string path_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t allowed_; // guarded by mutex_
    bool ending_ = false;   // guarded by mutex_
    std::uint64_t copied_;  // the thread's own until joined
    int error_ = 0;         // errno of a failed write; the thread's own until joined
    // The result is synced before it is published: its writeback starts piece by piece,
    // instead of all at the end.
    Writeback writeback_;
    std::thread thread_;
};

} // namespace repair
