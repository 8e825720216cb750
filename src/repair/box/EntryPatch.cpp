#include "box/EntryPatch.h"

#include "box/Box.h"
#include "box/ByteSource.h"
#include "box/Endian.h"

namespace repair {
namespace {

// The stsd's box header, version and flags, and entry count come before the first entry.
constexpr std::uint64_t kFirstEntry = 16;
// Fixed fields of a visual sample entry after its 8-byte box header; width and height
// are 24 bytes into them.
constexpr std::uint64_t kVisualFields = 78;
constexpr std::size_t kWidthAt = 8 + 24;

void setBe(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    }
}

// A box of the 32-bit size form whose size field can be grown by delta.
bool resize(std::vector<std::uint8_t>& b, std::size_t at, std::int64_t delta) {
    const std::int64_t size = std::int64_t{be32(b.data() + at)} + delta;
    if (size < 8 || size > UINT32_MAX) {
        return false;
    }
    setBe(b, at, static_cast<std::uint64_t>(size), 4);
    return true;
}

} // namespace

std::optional<std::vector<std::uint8_t>> withVideoEntry(const std::vector<std::uint8_t>& stsd,
                                                        const VideoEntryChange& change) {
    const MemorySource src(stsd.data(), stsd.size());
    const auto box = readBoxHeader(src, 0, stsd.size());
    const auto entry = box ? readBoxHeader(src, kFirstEntry, box->end) : std::nullopt;
    if (!entry || box->largeSize || box->sizeZero || entry->largeSize || entry->sizeZero ||
        entry->payload != entry->offset + 8 || entry->end - entry->payload < kVisualFields) {
        return std::nullopt;
    }
    const auto config =
        findChild(src, entry->payload + kVisualFields, entry->end, change.configType);
    if (!config || config->largeSize || config->payload != config->offset + 8) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(stsd.begin(),
                                  stsd.begin() + static_cast<std::ptrdiff_t>(config->offset));
    putBe32(out, static_cast<std::uint32_t>(change.config.size() + 8));
    putBe32(out, change.configType);
    out.insert(out.end(), change.config.begin(), change.config.end());
    out.insert(out.end(), stsd.begin() + static_cast<std::ptrdiff_t>(config->end), stsd.end());
    const auto delta =
        static_cast<std::int64_t>(out.size()) - static_cast<std::int64_t>(stsd.size());
    if (!resize(out, 0, delta) || !resize(out, kFirstEntry, delta)) {
        return std::nullopt;
    }
    setBe(out, kFirstEntry + kWidthAt, change.width, 2);
    setBe(out, kFirstEntry + kWidthAt + 2, change.height, 2);
    return out;
}

bool setTrackSize(std::vector<std::uint8_t>& tkhd, std::uint16_t width, std::uint16_t height) {
    // Width and height, 16.16 fixed point, close the box in either version.
    if (tkhd.size() < 8 + 4 + 80) {
        return false;
    }
    const std::size_t at = tkhd.size() - 8;
    setBe(tkhd, at, std::uint64_t{width} << 16, 4);
    setBe(tkhd, at + 4, std::uint64_t{height} << 16, 4);
    return true;
}

} // namespace repair
