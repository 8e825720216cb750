#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace repair {

// MSB-first bit reader for walking AAC frames quickly. Past the end it reads zeros and
// keeps counting, so a walk checks overrun() where it matters instead of at every read.
class AacBits {
public:
    AacBits(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // The next 32 bits, without taking them.
    std::uint32_t peek() {
        if (pos_ - cacheStart_ > 32) { // fewer than 32 bits left in the cache
            refill();
        }
        return static_cast<std::uint32_t>((cache_ << (pos_ - cacheStart_)) >> 32);
    }
    // count: 1 to 25.
    std::uint32_t read(int count) {
        const std::uint32_t v = peek() >> (32 - count);
        pos_ += static_cast<std::size_t>(count);
        return v;
    }
    bool flag() { return read(1) != 0; }
    void skip(std::size_t count) { pos_ += count; }
    void alignToByte() { pos_ = (pos_ + 7) & ~std::size_t{7}; }

    std::size_t position() const { return pos_; }
    bool overrun() const { return pos_ > size_ * 8; }
    // Bits left before the end; 0 once past it.
    std::size_t left() const { return overrun() ? 0 : size_ * 8 - pos_; }

private:
    // 64 bits from the byte that holds the next bit, zeros past the end.
    void refill() {
        cacheStart_ = pos_ & ~std::size_t{7};
        const std::size_t byte = pos_ >> 3;
        std::uint64_t w = 0;
        if (byte + 8 <= size_) {
            std::memcpy(&w, data_ + byte, 8);
            if constexpr (std::endian::native == std::endian::little) {
                w = __builtin_bswap64(w);
            }
        } else {
            for (std::size_t i = 0; i < 8; ++i) {
                w = (w << 8) | (byte + i < size_ ? data_[byte + i] : 0u);
            }
        }
        cache_ = w;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::uint64_t cache_ = 0;
    std::size_t cacheStart_ = ~std::size_t{0} - 64; // bit of the cache's first; none yet
};

} // namespace repair
