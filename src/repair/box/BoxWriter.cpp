#include "box/BoxWriter.h"

namespace repair {

std::size_t BoxWriter::open(std::uint32_t type) {
    const std::size_t mark = out_.size();
    u32(0);
    u32(type);
    return mark;
}

std::size_t BoxWriter::openFull(std::uint32_t type, std::uint8_t version, std::uint32_t flags) {
    const std::size_t mark = open(type);
    u32((std::uint32_t{version} << 24) | (flags & 0xffffff));
    return mark;
}

void BoxWriter::close(std::size_t mark) {
    const auto size = static_cast<std::uint32_t>(out_.size() - mark);
    for (int i = 0; i < 4; ++i) {
        out_[mark + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }
}

} // namespace repair
