#include "Window.h"

#include <algorithm>

namespace repair {
namespace {

// Refills read at least this much: a few audio frames or slice headers in one go.
constexpr std::size_t kMinFill = std::size_t{16} * 1024;

} // namespace

const std::uint8_t* Window::at(std::uint64_t pos, std::size_t want, std::size_t& got) {
    const std::uint64_t left = pos < limit_ ? limit_ - pos : 0;
    want = static_cast<std::size_t>(std::min<std::uint64_t>(want, left));
    if (pos < start_ || pos + want > start_ + buf_.size()) {
        const std::size_t fill =
            static_cast<std::size_t>(std::min<std::uint64_t>(std::max(want, kMinFill), left));
        buf_.resize(fill);
        buf_.resize(src_.read(pos, buf_.data(), fill));
        start_ = pos;
    }
    const std::size_t offset = static_cast<std::size_t>(pos - start_);
    got = std::min(buf_.size() - offset, want);
    return buf_.data() + offset;
}

} // namespace repair
