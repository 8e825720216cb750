// Box headers from untrusted bytes: sizes 0 and 1, sizes too small or too large, and
// walks that must end on malformed input.
#include "Box.h"
#include "Check.h"
#include "Endian.h"

#include <cstdint>
#include <vector>

using namespace repair;

namespace {

std::vector<std::uint8_t> box(std::uint32_t size, const char (&type)[5], std::size_t payload) {
    std::vector<std::uint8_t> b;
    putBe32(b, size);
    putBe32(b, fourcc(type));
    b.insert(b.end(), payload, 0xAB);
    return b;
}

struct HeaderCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool readable;
    std::uint64_t payload;
    std::uint64_t end;
    bool runsPastEnd;
};

std::vector<std::uint8_t> largeBox(std::uint64_t size, std::size_t payload) {
    std::vector<std::uint8_t> b;
    putBe32(b, 1);
    putBe32(b, fourcc("mdat"));
    putBe64(b, size);
    b.insert(b.end(), payload, 0);
    return b;
}

std::vector<HeaderCase> headerCases() {
    return {
        {"plain box", box(16, "free", 8), true, 8, 16, false},
        {"size 0 runs to end", box(0, "mdat", 20), true, 8, 28, true},
        {"size past end is clamped", box(1000, "mdat", 20), true, 8, 28, true},
        {"size below header", box(4, "free", 8), false, 0, 0, false},
        {"64-bit size", largeBox(40, 24), true, 16, 40, false},
        {"64-bit size past end", largeBox(1ull << 40, 24), true, 16, 40, true},
        {"64-bit size below header", largeBox(12, 24), false, 0, 0, false},
        {"header cut short", {0, 0, 0, 16, 'f'}, false, 0, 0, false},
        {"64-bit header cut short", {0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0}, false, 0, 0, false},
    };
}

void headers(Checks& c) {
    for (const auto& t : headerCases()) {
        MemorySource src(t.bytes.data(), t.bytes.size());
        const auto h = readBoxHeader(src, 0, src.size());
        c.equal(h.has_value(), t.readable, std::string(t.name) + ": readable");
        if (h && t.readable) {
            c.equal(h->payload, t.payload, std::string(t.name) + ": payload");
            c.equal(h->end, t.end, std::string(t.name) + ": end");
            c.equal(h->runsPastEnd, t.runsPastEnd, std::string(t.name) + ": runs past end");
        }
    }
}

struct WalkCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> types;
};

std::vector<std::uint8_t> join(std::vector<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

void walks(Checks& c) {
    const WalkCase cases[] = {
        {"three boxes",
         join({box(12, "ftyp", 4), box(8, "free", 0), box(9, "mdat", 1)}),
         {"ftyp", "free", "mdat"}},
        {"size 0 ends the walk",
         join({box(8, "ftyp", 0), box(0, "mdat", 5), box(8, "moov", 0)}),
         {"ftyp", "mdat"}},
        {"garbage after a box",
         join({box(8, "ftyp", 0), {0, 0, 0, 2, 'x', 'x', 'x', 'x'}}),
         {"ftyp"}},
        {"trailing bytes shorter than a header", join({box(8, "ftyp", 0), {1, 2, 3}}), {"ftyp"}},
    };
    for (const auto& t : cases) {
        MemorySource src(t.bytes.data(), t.bytes.size());
        std::vector<std::string> found;
        for (const auto& b : childBoxes(src, 0, src.size())) {
            found.push_back(typeName(b.type));
        }
        c.expect(found == t.types, std::string("walk: ") + t.name);
    }
}

} // namespace

int main() {
    Checks c;
    headers(c);
    walks(c);
    return c.finish();
}
