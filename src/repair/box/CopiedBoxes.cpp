#include "box/CopiedBoxes.h"

#include "box/Endian.h"

#include <algorithm>

namespace repair {
namespace {

// A camera's metadata, thumbnails included, is at most a few hundred KB; anything far
// beyond that in one box, or in all copied boxes together, is not a recording's.
constexpr std::uint64_t kMaxBoxBytes = 4u << 20;
constexpr std::uint64_t kMaxAllBytes = 8u << 20;
// udta > meta > ilst > item > data is as deep as metadata nests; a little room over that.
constexpr int kMaxDepth = 6;

bool oneOf(std::uint32_t type, std::initializer_list<std::uint32_t> types) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

bool known(std::uint32_t type, CopiedFrom parent) {
    switch (parent) {
    case CopiedFrom::Moov:
        return oneOf(type, {fourcc("udta"), fourcc("meta"), fourcc("iods"), fourcc("uuid")});
    case CopiedFrom::Trak:
        return oneOf(type, {fourcc("tref"), fourcc("udta"), fourcc("meta"), fourcc("tapt"),
                            fourcc("load"), fourcc("uuid")});
    case CopiedFrom::Mdia:
        return oneOf(type, {fourcc("hdlr"), fourcc("elng"), fourcc("udta")});
    case CopiedFrom::Minf:
        return oneOf(type, {fourcc("vmhd"), fourcc("smhd"), fourcc("hmhd"), fourcc("nmhd"),
                            fourcc("gmhd"), fourcc("sthd"), fourcc("hdlr"), fourcc("dinf")});
    }
    return false;
}

// Boxes whose payload is a list of boxes, walked to see that they parse.
bool holdsBoxes(std::uint32_t type, bool inIlst) {
    return inIlst || oneOf(type, {fourcc("udta"), fourcc("meta"), fourcc("ilst")});
}

// Where the children start: an ISO meta is a full box, a QuickTime one is not.
std::uint64_t childrenStart(const ByteSource& src, const BoxHeader& box) {
    if (box.type != fourcc("meta")) {
        return box.payload;
    }
    std::uint8_t b[8] = {};
    const bool quickTime = src.read(box.payload, b, 8) == 8 && be32(b + 4) == fourcc("hdlr");
    return quickTime ? box.payload : box.payload + 4;
}

// Empty when the children of a container tile its payload (QuickTime ends a udta with a
// zero word).
std::string treeFault(const ByteSource& src, const BoxHeader& box, int depth) {
    if (depth > kMaxDepth) {
        return "nested more than " + std::to_string(kMaxDepth) + " deep";
    }
    std::uint64_t at = childrenStart(src, box);
    const bool ilst = box.type == fourcc("ilst");
    while (at < box.end) {
        const auto child = readBoxHeader(src, at, box.end);
        if (!child) {
            std::uint8_t tail[8] = {};
            const auto n = src.read(at, tail, static_cast<std::size_t>(box.end - at));
            if (box.end - at < 8 && std::all_of(tail, tail + n, [](auto c) { return c == 0; })) {
                return "";
            }
            return "its contents do not parse as boxes";
        }
        if (child->runsPastEnd && !child->sizeZero) {
            return "box '" + typeName(child->type) + "' inside runs past its end";
        }
        if (holdsBoxes(child->type, ilst)) {
            if (auto fault = treeFault(src, *child, depth + 1); !fault.empty()) {
                return fault;
            }
        }
        at = child->end;
    }
    return "";
}

} // namespace

CopyBudget::CopyBudget() : bytesLeft(kMaxAllBytes) {}

std::string copyFault(const ByteSource& src, const BoxHeader& box, CopiedFrom parent,
                      CopyBudget& budget) {
    if (oneOf(box.type, {fourcc("free"), fourcc("skip"), fourcc("wide")})) {
        return "padding";
    }
    if (!known(box.type, parent)) {
        return "not a box a recording's index needs";
    }
    const std::uint64_t size = box.end - box.offset;
    if (box.runsPastEnd) {
        return "it runs past the end of its parent";
    }
    if (size > kMaxBoxBytes) {
        return std::to_string(size) + " bytes, over the " + std::to_string(kMaxBoxBytes >> 20) +
               " MB a recording's metadata takes";
    }
    if (size > budget.bytesLeft) {
        return "the boxes copied before it already take " +
               std::to_string((kMaxAllBytes - budget.bytesLeft) >> 10) + " KB";
    }
    if (holdsBoxes(box.type, false)) {
        if (auto fault = treeFault(src, box, 1); !fault.empty()) {
            return fault;
        }
    }
    budget.bytesLeft -= size;
    return "";
}

} // namespace repair
