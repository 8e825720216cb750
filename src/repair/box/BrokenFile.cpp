#include "box/BrokenFile.h"

#include "box/Box.h"
#include "box/Endian.h"
#include "box/Reference.h"
#include "box/RepairError.h"

#include <algorithm>
#include <optional>

namespace repair {
namespace {

constexpr std::size_t kMaxHead = 1u << 20;
// A moov at the end of a file is looked for this far back, a block at a time.
constexpr std::uint64_t kMaxMoov = 256u << 20;
constexpr std::uint64_t kScanBlock = 1u << 20;
// Boxes between mdat boxes kept track of; a file with more is not a camera's.
constexpr std::size_t kMaxHoles = 4096;

void keepHeadBox(const ByteSource& file, const BoxHeader& box, MediaData& media) {
    if (box.type == fourcc("ftyp") && media.ftyp.empty()) {
        media.ftyp = loadBox(file, box.offset, box.end, 4096);
    }
    if (box.type != fourcc("mdat") && box.type != fourcc("moov") && !box.runsPastEnd &&
        media.head.size() + (box.end - box.offset) <= kMaxHead) {
        const auto bytes = loadBox(file, box.offset, box.end, kMaxHead);
        media.head.insert(media.head.end(), bytes.begin(), bytes.end());
    }
}

// Everything from `from` to the end of the file, with no box to say where media starts.
MediaData searchFrom(MediaData media, std::uint64_t from, std::uint64_t size) {
    if (from >= size) {
        throw RepairError(ExitCode::NoMedia, "broken file holds no media data (no mdat box)");
    }
    media.begin = from;
    media.end = size;
    media.cut = true;
    media.search = true;
    return media;
}

// A moov box that ends exactly at the end of the file, after `from`: its start.
std::optional<std::uint64_t> trailingMoov(const ByteSource& file, std::uint64_t from) {
    const std::uint64_t size = file.size();
    const std::uint64_t lowest = size > kMaxMoov ? std::max(from, size - kMaxMoov) : from;
    std::vector<std::uint8_t> block(kScanBlock + 7);
    for (std::uint64_t end = size; end > lowest;) {
        const std::uint64_t begin = end - std::min<std::uint64_t>(kScanBlock, end - lowest);
        const std::size_t got =
            file.read(begin, block.data(), static_cast<std::size_t>(end - begin) + 7);
        for (std::size_t i = got >= 8 ? got - 8 : 0;; --i) {
            const std::uint64_t at = begin + i;
            if (i + 8 <= got && be32(block.data() + i + 4) == fourcc("moov") &&
                be32(block.data() + i) == size - at) {
                return at;
            }
            if (i == 0) {
                break;
            }
        }
        end = begin;
    }
    return std::nullopt;
}

} // namespace

MediaData findMediaData(const ByteSource& file) {
    MediaData media;
    const std::uint64_t size = file.size();
    bool found = false;
    std::uint64_t readable = 0; // end of the last box that is one
    // One box at a time: a file of countless tiny boxes must not cost memory.
    for (auto at = readBoxHeader(file, 0, size); at; at = readBoxHeader(file, at->end, size)) {
        const BoxHeader& box = *at;
        if (!isTopLevelType(box.type) || media.holes.size() >= kMaxHoles) {
            break; // media or damage that happened to read as a box header
        }
        if (found && box.type != fourcc("mdat")) {
            media.holes.push_back({box.offset, box.end});
        }
        keepHeadBox(file, box, media);
        if (box.type == fourcc("mdat")) {
            if (found) {
                media.holes.push_back({box.offset, box.payload});
            } else {
                media.begin = box.payload;
            }
            found = true;
            media.end = box.end;
            media.cut = box.runsPastEnd;
        }
        readable = box.end;
    }
    if (!found) {
        return searchFrom(media, readable, size);
    }
    // Boxes after the last mdat are not holes but the end of the file.
    while (!media.holes.empty() && media.holes.back().begin >= media.end) {
        media.holes.pop_back();
    }
    // An mdat whose size is too small: what follows it is no box, so the media goes on, up
    // to a moov that closes the file if there is one.
    if (readable < size && media.end == readable) {
        const auto moov = trailingMoov(file, media.end);
        media.end = moov.value_or(size);
        media.cut = !moov;
    }
    return media;
}

} // namespace repair
