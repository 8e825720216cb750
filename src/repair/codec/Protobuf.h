#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace repair {

// One protobuf field: its tag (field number << 3 | wire type) and where it ends; for a
// length-delimited one (wire type 2), where its value starts.
struct ProtobufField {
    std::uint64_t tag = 0;
    std::size_t payload = 0;
    std::size_t end = 0;
};

// The field at p, parsed within n bytes (wire types 0, 1, 2 and 5); end is 0 when it does
// not parse or does not fit.
ProtobufField protobufField(const std::uint8_t* p, std::size_t n);

// The shape of a camera's protobuf samples, learnt from the reference: the tags used at the
// top and one level down. A sample fits when it is exactly a run of such fields whose
// length-delimited values are exactly runs of such fields, at least two of them: its
// declared lengths account for every byte, which random bytes seldom do.
class ProtobufShape {
public:
    void learn(const std::uint8_t* p, std::size_t n);
    bool fits(const std::uint8_t* p, std::size_t n) const;
    // Whether the n bytes at p, the head of a sample cut short, start the way the
    // reference's samples do: a top tag, then an inner tag.
    bool opens(const std::uint8_t* p, std::size_t n) const;
    bool empty() const { return top_.empty(); }

private:
    static bool fields(const std::uint8_t* p, std::size_t n, std::vector<ProtobufField>& out);

    std::set<std::uint64_t> top_;
    std::set<std::uint64_t> inner_;
};

} // namespace repair
