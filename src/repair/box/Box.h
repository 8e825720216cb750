#pragma once

#include "box/ByteSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace repair {

// One box header as found, with its extent clamped to the enclosing range.
struct BoxHeader {
    std::uint32_t type = 0;
    std::uint64_t offset = 0;  // first byte of the header
    std::uint64_t payload = 0; // first byte after the header
    std::uint64_t end = 0;     // one past the last byte, never past the enclosing end
    bool runsPastEnd = false;  // declared size (or size 0) reached beyond the enclosing end
    bool sizeZero = false;     // size field 0: "up to the end"
    bool largeSize = false;    // 64-bit size field
};

// Reads the box header at offset inside [offset, end). Returns nothing when the header
// itself does not fit or the size field is impossible (smaller than the header).
std::optional<BoxHeader> readBoxHeader(const ByteSource& src, std::uint64_t offset,
                                       std::uint64_t end);

// The child boxes of a payload range, in order; stops at the first unreadable header.
std::vector<BoxHeader> childBoxes(const ByteSource& src, std::uint64_t begin, std::uint64_t end);

// First child of the given type, if any.
std::optional<BoxHeader> findChild(const ByteSource& src, std::uint64_t begin, std::uint64_t end,
                                   std::uint32_t type);

// Follows a path of box types from a payload range, e.g. {mdia, minf, stbl}.
std::optional<BoxHeader> findPath(const ByteSource& src, const BoxHeader& from,
                                  const std::vector<std::uint32_t>& path);

std::string typeName(std::uint32_t type);

// Box types that may open an MP4/MOV file.
bool isTopLevelType(std::uint32_t type);

} // namespace repair
