// Protocol buffers wire format: a field is a varint tag (field number << 3 | wire type),
// then a varint (0), 8 bytes (1), a varint length and that many bytes (2), or 4 bytes (5).
#include "codec/Protobuf.h"

namespace repair {
namespace {

constexpr int kMaxVarintBytes = 10;
// Tags learnt per level: a camera's messages use a handful; more is not a shape.
constexpr std::size_t kMaxTags = 64;
constexpr std::size_t kMaxFields = 4096;

bool varint(const std::uint8_t* p, std::size_t n, std::size_t& i, std::uint64_t& v) {
    v = 0;
    for (int k = 0; k < kMaxVarintBytes && i < n; ++k) {
        const std::uint8_t c = p[i++];
        v |= std::uint64_t{c & 0x7fu} << (7 * k);
        if ((c & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

ProtobufField protobufField(const std::uint8_t* p, std::size_t n) {
    ProtobufField f;
    std::size_t i = 0;
    std::uint64_t v = 0;
    if (!varint(p, n, i, f.tag) || (f.tag >> 3) == 0) {
        return {};
    }
    std::uint64_t end = 0;
    switch (f.tag & 7) {
    case 0:
        end = varint(p, n, i, v) ? i : 0;
        break;
    case 1:
        end = i + 8;
        break;
    case 2:
        if (varint(p, n, i, v)) {
            f.payload = i;
            end = v <= n - i ? i + v : 0;
        }
        break;
    case 5:
        end = i + 4;
        break;
    default:
        break;
    }
    f.end = end <= n ? static_cast<std::size_t>(end) : 0;
    return f;
}

bool ProtobufShape::fields(const std::uint8_t* p, std::size_t n, std::vector<ProtobufField>& out) {
    out.clear();
    for (std::size_t at = 0; at < n;) {
        ProtobufField f = protobufField(p + at, n - at);
        if (f.end == 0 || out.size() >= kMaxFields) {
            return false;
        }
        f.payload += f.payload ? at : 0;
        f.end += at;
        at = f.end;
        out.push_back(f);
    }
    return !out.empty();
}

void ProtobufShape::learn(const std::uint8_t* p, std::size_t n) {
    std::vector<ProtobufField> top;
    std::vector<ProtobufField> inner;
    if (!fields(p, n, top)) {
        return;
    }
    for (const auto& f : top) {
        if (top_.size() < kMaxTags) {
            top_.insert(f.tag);
        }
        if (f.payload && fields(p + f.payload, f.end - f.payload, inner)) {
            for (const auto& g : inner) {
                if (inner_.size() < kMaxTags) {
                    inner_.insert(g.tag);
                }
            }
        }
    }
}

bool ProtobufShape::opens(const std::uint8_t* p, std::size_t n) const {
    std::size_t i = 0;
    std::uint64_t tag = 0;
    std::uint64_t len = 0;
    if (!varint(p, n, i, tag) || !top_.count(tag) || (tag & 7) != 2 || !varint(p, n, i, len)) {
        return false;
    }
    std::uint64_t inner = 0;
    return varint(p, n, i, inner) && inner_.count(inner);
}

bool ProtobufShape::fits(const std::uint8_t* p, std::size_t n) const {
    std::vector<ProtobufField> top;
    std::vector<ProtobufField> inner;
    if (empty() || !fields(p, n, top)) {
        return false;
    }
    std::size_t seen = 0;
    for (const auto& f : top) {
        if (!top_.count(f.tag)) {
            return false;
        }
        if (f.payload == 0) {
            continue;
        }
        if (!fields(p + f.payload, f.end - f.payload, inner)) {
            return false;
        }
        for (const auto& g : inner) {
            if (!inner_.count(g.tag)) {
                return false;
            }
        }
        seen += inner.size();
    }
    return seen >= 2;
}

} // namespace repair
