#pragma once

#include "box/ByteSource.h"
#include "box/Reference.h"
#include "codec/Protobuf.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace repair {

// How a variable-size data sample says its own length, learnt from the reference: a
// sequence of boxes (size, key, value) of a fixed count or with rising keys (QuickTime
// metadata, where a sample holds the keys that have a value), of GPMF KLV items, of
// protobuf fields, or a length field at a fixed place. Each one is checked to explain every
// reference sample exactly before it is trusted.
class SampleGrammar {
public:
    enum class Kind { None, Boxes, KeyedBoxes, Klv, Protobuf, LengthField };

    static SampleGrammar learn(const ByteSource& reference, const std::vector<RefSample>& samples,
                               std::uint32_t maxSize);

    Kind kind() const { return kind_; }
    // The length of the sample at pos as this grammar reads it, or nothing.
    std::optional<std::uint64_t> length(const ByteSource& src, std::uint64_t pos) const;
    // Whether the sample [pos, pos + len) proves itself: a protobuf sample of the
    // reference's shape. Only protobuf samples can.
    bool accounts(const ByteSource& src, std::uint64_t pos, std::uint64_t len) const;
    // Whether a sample cut short at the end of src starts at pos as the reference's do.
    bool opens(const ByteSource& src, std::uint64_t pos) const;
    std::string describe() const;

private:
    std::optional<std::uint64_t> items(const ByteSource& src, std::uint64_t pos, Kind kind,
                                       std::uint32_t count) const;
    std::optional<std::uint64_t> field(const ByteSource& src, std::uint64_t pos) const;
    std::optional<std::uint64_t> keyedBoxes(const ByteSource& src, std::uint64_t pos) const;
    bool explains(const ByteSource& src, const std::vector<RefSample>& samples);
    void learnShape(const ByteSource& reference, const std::vector<RefSample>& samples);

    Kind kind_ = Kind::None;
    std::uint32_t count_ = 0; // items per sample
    std::uint32_t maxSize_ = 0;
    // Length field: where, how wide, which byte order, and what adds to it.
    int fieldAt_ = 0;
    int fieldWidth_ = 0;
    bool littleEndian_ = false;
    std::int64_t fieldAdd_ = 0;
    ProtobufShape shape_;
};

} // namespace repair
