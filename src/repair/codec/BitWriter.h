#pragma once

#include <cstdint>
#include <vector>

namespace repair {

class BitReader;

// MSB-first bit writer for parameter sets: fixed-width fields and Exp-Golomb codes.
class BitWriter {
public:
    void bits(std::uint32_t value, int count);
    void flag(bool v) { bits(v ? 1 : 0, 1); }
    void ue(std::uint32_t v);
    void se(std::int32_t v);
    // Copies count bits that r reads next.
    void copy(BitReader& r, std::size_t count);
    // rbsp_trailing_bits: a one, then zeros to the byte boundary.
    void trailing();
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    int used_ = 8; // bits used of the last byte
};

// The NAL unit of header byte(s) and payload, emulation prevention bytes put in.
std::vector<std::uint8_t> escapeNal(const std::vector<std::uint8_t>& header,
                                    const std::vector<std::uint8_t>& rbsp);

} // namespace repair
