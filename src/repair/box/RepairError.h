#pragma once

#include <stdexcept>
#include <string>

namespace repair {

// Exit statuses: each failure class has its own, so scripts can tell them apart.
enum class ExitCode : int {
    Ok = 0,
    Usage = 1,
    BadInput = 2,
    Unsupported = 3,
    NoMedia = 4,
    OutputFailed = 5,
    Partial = 6, // a result was written, but less than the whole media data came back
    Mismatch = 7 // the broken file's media does not decode with the reference's descriptions
};

// A failure that ends the run with a one-line reason.
class RepairError : public std::runtime_error {
public:
    RepairError(ExitCode code, const std::string& reason)
        : std::runtime_error(reason), code_(code) {}
    ExitCode code() const { return code_; }

private:
    ExitCode code_;
};

} // namespace repair
