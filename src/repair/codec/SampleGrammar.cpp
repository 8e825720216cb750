#include "codec/SampleGrammar.h"

#include "codec/Protobuf.h"

#include "box/Endian.h"

#include <algorithm>
#include <set>

namespace repair {
namespace {

constexpr std::uint32_t kMaxItems = 256;
constexpr std::size_t kMaxLearn = 64;
constexpr int kMaxFieldAt = 16;
// Samples longer than this are not read whole to check that their lengths add up.
constexpr std::uint64_t kMaxCheckedBytes = 64u << 10;

bool printableKey(const std::uint8_t* k) {
    return std::all_of(k, k + 4, [](std::uint8_t c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == ' ' || c == '_';
    });
}

// One protobuf field's length from its tag on, or 0 when it does not parse.
std::uint64_t fieldLength(const ByteSource& src, std::uint64_t pos, std::uint64_t limit) {
    std::uint8_t b[20];
    const std::size_t n = src.read(pos, b, sizeof b);
    std::size_t i = 0;
    const auto varint = [&](std::uint64_t& v) {
        v = 0;
        for (int shift = 0; i < n && shift < 64; shift += 7) {
            const std::uint8_t c = b[i++];
            v |= std::uint64_t{c & 0x7fu} << shift;
            if ((c & 0x80) == 0) {
                return true;
            }
        }
        return false;
    };
    std::uint64_t tag = 0;
    if (!varint(tag) || (tag >> 3) == 0) {
        return 0;
    }
    std::uint64_t len = 0;
    switch (tag & 7) {
    case 0:
        return varint(len) ? i : 0;
    case 1:
        return i + 8;
    case 2:
        return varint(len) && len <= limit ? i + len : 0;
    case 5:
        return i + 4;
    default:
        return 0;
    }
}

} // namespace

std::optional<std::uint64_t> SampleGrammar::items(const ByteSource& src, std::uint64_t pos,
                                                  Kind kind, std::uint32_t count) const {
    std::uint64_t at = pos;
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint8_t h[8];
        std::uint64_t len = 0;
        if (kind == Kind::Protobuf) {
            len = fieldLength(src, at, maxSize_);
        } else if (src.read(at, h, 8) == 8) {
            len = kind == Kind::Boxes ? be32(h)
                  : printableKey(h)   ? 8 + ((std::uint64_t{h[5]} * be16(h + 6) + 3) & ~3ull)
                                      : 0;
        }
        if (len < (kind == Kind::Protobuf ? 2u : 8u) || at + len - pos > maxSize_) {
            return std::nullopt;
        }
        at += len;
    }
    return at - pos;
}

std::optional<std::uint64_t> SampleGrammar::field(const ByteSource& src, std::uint64_t pos) const {
    std::uint8_t b[4];
    const auto w = static_cast<std::size_t>(fieldWidth_);
    if (src.read(pos + static_cast<std::uint64_t>(fieldAt_), b, w) != w) {
        return std::nullopt;
    }
    std::uint64_t v = 0;
    for (std::size_t k = 0; k < w; ++k) {
        v = littleEndian_ ? v | (std::uint64_t{b[k]} << (8 * k)) : (v << 8) | b[k];
    }
    const std::int64_t len = static_cast<std::int64_t>(v) + fieldAdd_;
    if (len <= fieldAt_ + fieldWidth_ || static_cast<std::uint64_t>(len) > maxSize_) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(len);
}

// Boxes whose keys rise; the next sample starts again from a low key.
std::optional<std::uint64_t> SampleGrammar::keyedBoxes(const ByteSource& src,
                                                       std::uint64_t pos) const {
    std::uint64_t at = pos;
    std::uint32_t lastKey = 0;
    for (std::uint32_t k = 0; k < kMaxItems; ++k) {
        std::uint8_t h[8];
        if (src.read(at, h, 8) != 8) {
            break;
        }
        const std::uint64_t len = be32(h);
        const std::uint32_t key = be32(h + 4);
        if (len < 8 || at + len - pos > maxSize_ || key <= lastKey || key > kMaxItems) {
            break;
        }
        lastKey = key;
        at += len;
    }
    return at > pos ? std::optional<std::uint64_t>(at - pos) : std::nullopt;
}

std::optional<std::uint64_t> SampleGrammar::length(const ByteSource& src, std::uint64_t pos) const {
    switch (kind_) {
    case Kind::None:
        return std::nullopt;
    case Kind::LengthField:
        return field(src, pos);
    case Kind::KeyedBoxes:
        return keyedBoxes(src, pos);
    default:
        return items(src, pos, kind_, count_);
    }
}

bool SampleGrammar::explains(const ByteSource& src, const std::vector<RefSample>& samples) {
    return std::all_of(samples.begin(), samples.end(), [&](const RefSample& s) {
        const auto len = length(src, s.offset);
        return len && *len == s.size;
    });
}

SampleGrammar SampleGrammar::learn(const ByteSource& reference, const std::vector<RefSample>& all,
                                   std::uint32_t maxSize) {
    SampleGrammar g;
    g.maxSize_ = std::max<std::uint32_t>(maxSize, 64) * 2;
    const std::vector<RefSample> samples(
        all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), kMaxLearn)));
    if (samples.empty()) {
        return g;
    }
    // Item sequences: the count of items in the first sample must explain all of them.
    for (Kind kind : {Kind::Klv, Kind::Boxes, Kind::Protobuf}) {
        for (std::uint32_t count = 1; count <= kMaxItems; ++count) {
            g.kind_ = kind;
            g.count_ = count;
            const auto len = g.items(reference, samples[0].offset, kind, count);
            if (!len || *len > samples[0].size) {
                break;
            }
            if (*len == samples[0].size) {
                if (g.explains(reference, samples)) {
                    g.learnShape(reference, samples);
                    return g;
                }
                break;
            }
        }
    }
    g.kind_ = Kind::KeyedBoxes;
    if (g.explains(reference, samples)) {
        return g;
    }
    std::set<std::uint32_t> sizes;
    for (const auto& s : samples) {
        sizes.insert(s.size);
    }
    g.kind_ = Kind::LengthField;
    for (g.fieldAt_ = 0; sizes.size() >= 2 && samples.size() >= 3 && g.fieldAt_ < kMaxFieldAt;
         ++g.fieldAt_) {
        for (int width : {4, 2, 1}) {
            for (bool le : {false, true}) {
                g.fieldWidth_ = width;
                g.littleEndian_ = le;
                g.fieldAdd_ = 0;
                const auto v = g.field(reference, samples[0].offset);
                g.fieldAdd_ =
                    v ? static_cast<std::int64_t>(samples[0].size) - static_cast<std::int64_t>(*v)
                      : 0;
                if (v && g.fieldAdd_ >= -64 && g.fieldAdd_ <= 64 &&
                    g.explains(reference, samples)) {
                    return g;
                }
            }
        }
    }
    g.kind_ = Kind::None;
    return g;
}

// A protobuf sample of the reference's shape proves itself (see ProtobufShape).
bool SampleGrammar::accounts(const ByteSource& src, std::uint64_t pos, std::uint64_t len) const {
    if (kind_ != Kind::Protobuf || len > kMaxCheckedBytes) {
        return false;
    }
    const auto bytes = src.bytes(pos, static_cast<std::size_t>(len));
    return bytes.size() == len && shape_.fits(bytes.data(), bytes.size());
}

bool SampleGrammar::opens(const ByteSource& src, std::uint64_t pos) const {
    std::uint8_t head[32];
    const std::size_t n = src.read(pos, head, sizeof head);
    return kind_ == Kind::Protobuf && shape_.opens(head, n);
}

void SampleGrammar::learnShape(const ByteSource& reference, const std::vector<RefSample>& samples) {
    if (kind_ != Kind::Protobuf) {
        return;
    }
    for (const auto& s : samples) {
        if (s.size <= kMaxCheckedBytes) {
            const auto bytes = reference.bytes(s.offset, s.size);
            shape_.learn(bytes.data(), bytes.size());
        }
    }
}

std::string SampleGrammar::describe() const {
    switch (kind_) {
    case Kind::Boxes:
        return std::to_string(count_) + " box(es) a sample";
    case Kind::KeyedBoxes:
        return "boxes with rising keys";
    case Kind::Klv:
        return std::to_string(count_) + " KLV item(s) a sample";
    case Kind::Protobuf:
        return std::to_string(count_) + " protobuf field(s) a sample";
    case Kind::LengthField:
        return "length in a " + std::to_string(fieldWidth_) + "-byte field at byte " +
               std::to_string(fieldAt_);
    case Kind::None:
        break;
    }
    return "sizes as in the reference";
}

} // namespace repair
