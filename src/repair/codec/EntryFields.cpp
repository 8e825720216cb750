#include "codec/EntryFields.h"

#include "box/Box.h"
#include "box/Endian.h"

namespace repair {
namespace {

// The stsd box header and its entry count come before the first entry.
constexpr std::uint64_t kFirstEntry = 16;
// Fixed fields of a visual entry, and of a sound entry by its version, after the box header.
constexpr std::uint64_t kVisualFields = 78;
constexpr std::uint64_t kSoundFields[] = {28, 44, 64};
constexpr std::size_t kMaxBoxBytes = std::size_t{64} * 1024;

std::optional<BoxHeader> firstEntry(const MemorySource& src) {
    return readBoxHeader(src, kFirstEntry, src.size());
}

// Where the entry's child boxes begin.
std::uint64_t childrenAt(const RefTrack& t, const MemorySource& src, const BoxHeader& entry) {
    if (isVideoHandler(t.handler)) {
        return entry.payload + kVisualFields;
    }
    std::uint8_t v[2] = {};
    src.read(entry.payload + 8, v, 2);
    const unsigned version = be16(v);
    return entry.payload + kSoundFields[version < 3 ? version : 0];
}

std::optional<BoxHeader> findEntryBox(const RefTrack& t, const MemorySource& src,
                                      std::uint32_t type) {
    const auto entry = firstEntry(src);
    if (!entry) {
        return std::nullopt;
    }
    const std::uint64_t at = childrenAt(t, src, *entry);
    if (at >= entry->end) {
        return std::nullopt;
    }
    if (auto box = findChild(src, at, entry->end, type)) {
        return box;
    }
    if (auto wave = findChild(src, at, entry->end, fourcc("wave"))) {
        return findChild(src, wave->payload, wave->end, type);
    }
    return std::nullopt;
}

std::vector<std::uint8_t> range(const MemorySource& src, std::uint64_t from, std::uint64_t to) {
    if (to <= from || to - from > kMaxBoxBytes) {
        return {};
    }
    return src.bytes(from, static_cast<std::size_t>(to - from));
}

} // namespace

std::optional<PictureSize> pictureSize(const RefTrack& track) {
    const MemorySource src(track.stsd.data(), track.stsd.size());
    const auto entry = firstEntry(src);
    std::uint8_t b[4] = {};
    if (!entry || !isVideoHandler(track.handler) || src.read(entry->payload + 24, b, 4) != 4) {
        return std::nullopt;
    }
    return PictureSize{be16(b), be16(b + 2)};
}

std::vector<std::uint8_t> entryBox(const RefTrack& track, std::uint32_t type) {
    const MemorySource src(track.stsd.data(), track.stsd.size());
    const auto box = findEntryBox(track, src, type);
    return box ? range(src, box->payload, box->end) : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> entryBoxWhole(const RefTrack& track, std::uint32_t type) {
    const MemorySource src(track.stsd.data(), track.stsd.size());
    const auto box = findEntryBox(track, src, type);
    return box ? range(src, box->offset, box->end) : std::vector<std::uint8_t>{};
}

} // namespace repair
