#pragma once

#include "box/Endian.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repair {

// Builds nested boxes in memory; sizes are filled in when a box is closed.
class BoxWriter {
public:
    std::size_t open(std::uint32_t type);
    std::size_t openFull(std::uint32_t type, std::uint8_t version, std::uint32_t flags);
    void close(std::size_t mark);

    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v) { putBe16(out_, v); }
    void u32(std::uint32_t v) { putBe32(out_, v); }
    void u64(std::uint64_t v) { putBe64(out_, v); }
    void zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }
    void raw(const std::vector<std::uint8_t>& bytes) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }

    const std::vector<std::uint8_t>& bytes() const { return out_; }

private:
    std::vector<std::uint8_t> out_;
};

} // namespace repair
