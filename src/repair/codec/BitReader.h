#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repair {

// MSB-first bit reader over a bounded buffer. Reading past the end sets failed()
// and yields zeros, so parsers can check once at the end.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint32_t bits(int count);
    bool flag() { return bits(1) != 0; }
    void skip(std::size_t count);
    std::uint32_t ue();
    std::int32_t se();

    bool failed() const { return failed_; }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return pos_ >= size_ * 8 ? 0 : size_ * 8 - pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

// NAL payload with emulation prevention bytes (00 00 03) removed, at most maxOut bytes.
std::vector<std::uint8_t> unescapeRbsp(const std::uint8_t* data, std::size_t size,
                                       std::size_t maxOut);

} // namespace repair
