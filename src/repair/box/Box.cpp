#include "box/Box.h"

#include "box/Endian.h"

namespace repair {

std::optional<BoxHeader> readBoxHeader(const ByteSource& src, std::uint64_t offset,
                                       std::uint64_t end) {
    std::uint8_t h[16];
    if (offset >= end || end - offset < 8 || src.read(offset, h, 8) != 8) {
        return std::nullopt;
    }
    BoxHeader box;
    box.offset = offset;
    box.type = be32(h + 4);
    std::uint64_t size = be32(h);
    std::uint64_t headerSize = 8;
    if (size == 1) {
        if (end - offset < 16 || src.read(offset + 8, h + 8, 8) != 8) {
            return std::nullopt;
        }
        size = be64(h + 8);
        headerSize = 16;
        box.largeSize = true;
    }
    box.payload = offset + headerSize;
    if (size == 0) {
        box.sizeZero = true;
        box.runsPastEnd = true;
        box.end = end;
        return box;
    }
    if (size < headerSize) {
        return std::nullopt;
    }
    box.runsPastEnd = size > end - offset;
    box.end = box.runsPastEnd ? end : offset + size;
    return box;
}

std::vector<BoxHeader> childBoxes(const ByteSource& src, std::uint64_t begin, std::uint64_t end) {
    std::vector<BoxHeader> out;
    std::uint64_t at = begin;
    while (auto box = readBoxHeader(src, at, end)) {
        out.push_back(*box);
        // Every header is at least 8 bytes, so this always moves forward.
        at = box->end;
    }
    return out;
}

std::optional<BoxHeader> findChild(const ByteSource& src, std::uint64_t begin, std::uint64_t end,
                                   std::uint32_t type) {
    std::uint64_t at = begin;
    while (auto box = readBoxHeader(src, at, end)) {
        if (box->type == type) {
            return box;
        }
        at = box->end;
    }
    return std::nullopt;
}

std::optional<BoxHeader> findPath(const ByteSource& src, const BoxHeader& from,
                                  const std::vector<std::uint32_t>& path) {
    std::optional<BoxHeader> at = from;
    for (std::uint32_t type : path) {
        at = findChild(src, at->payload, at->end, type);
        if (!at) {
            return std::nullopt;
        }
    }
    return at;
}

std::string typeName(std::uint32_t type) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((type >> shift) & 0xff);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

bool isTopLevelType(std::uint32_t type) {
    constexpr std::uint32_t kTypes[] = {fourcc("ftyp"), fourcc("moov"), fourcc("mdat"),
                                        fourcc("free"), fourcc("skip"), fourcc("wide"),
                                        fourcc("pnot"), fourcc("uuid"), fourcc("styp")};
    for (std::uint32_t t : kTypes) {
        if (type == t) {
            return true;
        }
    }
    return false;
}

} // namespace repair
