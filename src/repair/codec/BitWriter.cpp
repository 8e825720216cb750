#include "codec/BitWriter.h"

#include "codec/BitReader.h"

namespace repair {

void BitWriter::bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (used_ == 8) {
            bytes_.push_back(0);
            used_ = 0;
        }
        if ((value >> i) & 1u) {
            bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (0x80u >> used_));
        }
        ++used_;
    }
}

void BitWriter::ue(std::uint32_t v) {
    const std::uint64_t code = std::uint64_t{v} + 1;
    int length = 0;
    while ((code >> length) > 1) {
        ++length;
    }
    bits(0, length);
    bits(static_cast<std::uint32_t>(code >> 32), length >= 32 ? 1 : 0);
    bits(static_cast<std::uint32_t>(code), length >= 32 ? 32 : length + 1);
}

void BitWriter::se(std::int32_t v) {
    const std::int64_t w = v;
    ue(static_cast<std::uint32_t>(w > 0 ? 2 * w - 1 : -2 * w));
}

void BitWriter::copy(BitReader& r, std::size_t count) {
    for (std::size_t i = 0; i < count && !r.failed(); ++i) {
        bits(r.bits(1), 1);
    }
}

void BitWriter::trailing() {
    bits(1, 1);
    if (used_ != 8) {
        bits(0, 8 - used_);
    }
}

std::vector<std::uint8_t> escapeNal(const std::vector<std::uint8_t>& header,
                                    const std::vector<std::uint8_t>& rbsp) {
    std::vector<std::uint8_t> out = header;
    int zeros = 0;
    for (std::uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

} // namespace repair
