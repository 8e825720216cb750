#pragma once

#include "ByteSource.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repair {

// A small read-ahead buffer over a source, so that walking the media data reads each
// region once instead of issuing a read per field.
class Window {
public:
    Window(const ByteSource& src, std::uint64_t limit) : src_(src), limit_(limit) {}

    // Bytes from pos on: at least min(want, limit - pos) of them, fewer only at the limit.
    const std::uint8_t* at(std::uint64_t pos, std::size_t want, std::size_t& got);

private:
    const ByteSource& src_;
    std::uint64_t limit_;
    std::vector<std::uint8_t> buf_;
    std::uint64_t start_ = 0;
};

} // namespace repair
