// Exp-Golomb reading, bounds and emulation prevention removal.
#include "Check.h"
#include "codec/BitReader.h"

#include <cstdint>
#include <vector>

using repair::BitReader;

namespace {

struct GolombCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::vector<std::int64_t> expected; // ue values, or se values when signed
    bool isSigned;
    bool failsAfter;
};

const GolombCase kGolomb[] = {
    // 1 | 010 | 011 | 00100 | 0 -> 0, 1, 2, 3
    {"ue small", {0b10100110, 0b01000000}, {0, 1, 2, 3}, false, false},
    // Seven zeros, the marker one, seven more bits: 2^7 - 1 + 0.
    {"ue 127", {0b00000001, 0b00000000}, {127}, false, false},
    // se: 1 -> 0, 010 -> +1, 011 -> -1, 00100 -> +2
    {"se signs", {0b10100110, 0b01000000}, {0, 1, -1, 2}, true, false},
    // Only zeros: leading-zero run never ends inside the buffer.
    {"ue past end", {0x00, 0x00}, {0}, false, true},
};

void golomb(Checks& c) {
    for (const auto& t : kGolomb) {
        BitReader br(t.bytes.data(), t.bytes.size());
        for (std::size_t i = 0; i < t.expected.size(); ++i) {
            const std::int64_t v = t.isSigned ? std::int64_t{br.se()} : std::int64_t{br.ue()};
            c.equal(v, t.expected[i], std::string(t.name) + " value " + std::to_string(i));
        }
        c.equal(br.failed(), t.failsAfter, std::string(t.name) + " failure flag");
    }
}

struct BitsCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    int count;
    std::uint32_t expected;
    bool fails;
};

const BitsCase kBits[] = {
    {"8 of 0xA5", {0xA5}, 8, 0xA5, false},
    {"12 across bytes", {0xAB, 0xCD}, 12, 0xABC, false},
    {"32 bits", {0xDE, 0xAD, 0xBE, 0xEF}, 32, 0xDEADBEEF, false},
    {"past end yields zeros", {0xFF}, 12, 0xFF0, true},
    {"empty buffer", {}, 1, 0, true},
};

void fixedBits(Checks& c) {
    for (const auto& t : kBits) {
        BitReader br(t.bytes.data(), t.bytes.size());
        c.equal(br.bits(t.count), t.expected, std::string(t.name) + " value");
        c.equal(br.failed(), t.fails, std::string(t.name) + " failure flag");
    }
}

struct RbspCase {
    const char* name;
    std::vector<std::uint8_t> in;
    std::size_t max;
    std::vector<std::uint8_t> out;
};

const RbspCase kRbsp[] = {
    {"no escapes", {1, 2, 3}, 16, {1, 2, 3}},
    {"one escape", {0, 0, 3, 1}, 16, {0, 0, 1}},
    {"escape then zeros", {0, 0, 3, 0, 0, 3, 2}, 16, {0, 0, 0, 0, 2}},
    {"03 without two zeros stays", {0, 3, 3}, 16, {0, 3, 3}},
    {"bounded output", {9, 8, 7, 6, 5}, 3, {9, 8, 7}},
};

void rbsp(Checks& c) {
    for (const auto& t : kRbsp) {
        const auto out = repair::unescapeRbsp(t.in.data(), t.in.size(), t.max);
        c.expect(out == t.out, std::string("rbsp ") + t.name);
    }
}

} // namespace

int main() {
    Checks c;
    golomb(c);
    fixedBits(c);
    rbsp(c);
    return c.finish();
}
