// Box headers from untrusted bytes: sizes 0 and 1, sizes too small or too large, and
// walks that must end on malformed input; the zeros a preallocated file ends in.
#include "Check.h"
#include "box/Box.h"
#include "box/BrokenFile.h"
#include "box/Endian.h"
#include "box/ZeroRun.h"

#include <algorithm>
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

struct TailCase {
    const char* name;
    std::size_t data;         // media bytes, none of them zero
    std::size_t zerosBetween; // zeros after the first half of the data
    std::size_t zeros;        // zeros after the data
    bool inMdat;              // the mdat box holds the zeros (else they follow it)
};

// The zeros that end a file's media data, counted across the blocks it is read in.
void trailingZeros(Checks& c) {
    constexpr std::size_t kBlock = 64u << 10;
    const TailCase cases[] = {
        {"data to the end", 3000, 0, 0, true},
        {"zeros after the mdat box", 3000, 0, 5000, false},
        {"zeros inside the mdat box", 3000, 0, 5000, true},
        {"zeros over a block edge", 3000, 0, kBlock + 3, true},
        {"zeros of exactly a block", 3000, 0, kBlock, false},
        {"zeros amid the data", 3000, 70000, 0, true},
        {"zeros amid the data and after", 3000, 70000, 2 * kBlock + 1, true},
        {"nothing but zeros", 0, 0, 300, true},
    };
    for (const auto& t : cases) {
        std::vector<std::uint8_t> media(t.data / 2, 0xAB);
        media.insert(media.end(), t.zerosBetween, 0);
        media.insert(media.end(), t.data - t.data / 2, 0xCD);
        const std::size_t held = media.size() + (t.inMdat ? t.zeros : 0);
        auto bytes = join({box(12, "ftyp", 4), box(static_cast<std::uint32_t>(8 + held), "mdat", 0),
                           media, std::vector<std::uint8_t>(t.zeros, 0)});
        MemorySource src(bytes.data(), bytes.size());
        const MediaData m = findMediaData(src);
        c.equal(m.end, std::uint64_t{bytes.size()}, std::string("tail: ") + t.name + ": end");
        c.equal(repair::trailingZeros(src, m.begin, m.end), std::uint64_t{t.zeros},
                std::string("tail: ") + t.name);
    }
}

// A file of `size` bytes: data in the given ranges, zeros elsewhere; counts what is read.
class Striped : public ByteSource {
public:
    Striped(std::uint64_t size, std::vector<std::pair<std::uint64_t, std::uint64_t>> data)
        : size_(size), data_(std::move(data)) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const override {
        const auto n = static_cast<std::size_t>(
            std::min<std::uint64_t>(count, offset < size_ ? size_ - offset : 0));
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t at = offset + i;
            out[i] = std::any_of(data_.begin(), data_.end(),
                                 [at](const auto& d) { return at >= d.first && at < d.second; })
                         ? 0xAB
                         : 0;
        }
        read_ += n;
        return n;
    }
    std::uint64_t bytesRead() const { return read_; }

private:
    std::uint64_t size_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> data_;
    mutable std::uint64_t read_ = 0;
};

struct FarCase {
    const char* name;
    std::uint64_t size;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> data;
    std::uint64_t zeros;
};

// Runs far longer than the media: found without reading them whole, and not stopped by
// zeros amid the media.
void farZeros(Checks& c) {
    constexpr std::uint64_t MiB = 1u << 20;
    constexpr std::uint64_t TiB = MiB << 20;
    const FarCase cases[] = {
        {"a terabyte of zeros", 10 * MiB + TiB, {{0, 10 * MiB + 7}}, TiB - 7},
        {"just past what is read whole", 80 * MiB, {{0, 80 * MiB - 64 * MiB - 5}}, 64 * MiB + 5},
        {"zeros amid the media", 300 * MiB + TiB, {{0, 100 * MiB}, {108 * MiB, 300 * MiB}}, TiB},
        {"a long stretch of zeros amid the media",
         300 * MiB + TiB,
         {{0, 40 * MiB}, {200 * MiB + 3, 300 * MiB}},
         TiB},
        {"nothing but zeros", TiB, {}, TiB},
        {"data to the end", TiB, {{0, TiB}}, 0},
    };
    for (const auto& t : cases) {
        const Striped src(t.size, t.data);
        c.equal(repair::trailingZeros(src, 0, t.size), t.zeros, std::string("far: ") + t.name);
        c.expect(src.bytesRead() <= 128 * MiB, std::string("far: ") + t.name + ": read " +
                                                   std::to_string(src.bytesRead() / MiB) + " MiB");
    }
}

} // namespace

int main() {
    Checks c;
    headers(c);
    walks(c);
    trailingZeros(c);
    farZeros(c);
    return c.finish();
}
