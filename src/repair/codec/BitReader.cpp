#include "codec/BitReader.h"

namespace repair {

std::uint32_t BitReader::bits(int count) {
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i) {
        std::uint32_t bit = 0;
        if (pos_ < size_ * 8) {
            bit = (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u;
        } else {
            failed_ = true;
        }
        ++pos_;
        v = (v << 1) | bit;
    }
    return v;
}

void BitReader::skip(std::size_t count) {
    pos_ += count;
    if (pos_ > size_ * 8) {
        failed_ = true;
    }
}

std::uint32_t BitReader::ue() {
    int zeros = 0;
    while (!failed_ && bits(1) == 0) {
        if (++zeros > 31) {
            failed_ = true;
            return 0;
        }
    }
    if (failed_) {
        return 0;
    }
    const std::uint64_t value = (std::uint64_t{1} << zeros) - 1 + bits(zeros);
    if (value > 0xffffffffu) {
        failed_ = true;
        return 0;
    }
    return static_cast<std::uint32_t>(value);
}

std::int32_t BitReader::se() {
    const std::uint32_t k = ue();
    const auto magnitude = static_cast<std::int32_t>((k + 1) / 2);
    return (k & 1u) ? magnitude : -magnitude;
}

std::vector<std::uint8_t> unescapeRbsp(const std::uint8_t* data, std::size_t size,
                                       std::size_t maxOut) {
    std::vector<std::uint8_t> out;
    out.reserve(size < maxOut ? size : maxOut);
    int zeros = 0;
    for (std::size_t i = 0; i < size && out.size() < maxOut; ++i) {
        if (zeros >= 2 && data[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = data[i] == 0 ? zeros + 1 : 0;
        out.push_back(data[i]);
    }
    return out;
}

} // namespace repair
