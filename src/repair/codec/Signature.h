#pragma once

#include "box/ByteSource.h"
#include "box/Reference.h"
#include "codec/Codec.h"

#include <cstdint>
#include <vector>

namespace repair {

// The bytes at fixed places near the start that every sample of a track shares (a format
// tag, a version, a key), learnt from the reference's own samples.
class Signature {
public:
    static Signature learn(const ByteSource& reference, const std::vector<RefSample>& samples);

    // How much a match says: Sure for several telling bytes, No when there are none.
    Sureness strength() const { return strength_; }
    // Bytes a match needs to see.
    std::size_t span() const { return value_.size(); }
    bool matches(const std::uint8_t* p, std::size_t n) const;
    std::string describe() const;

private:
    std::vector<std::uint8_t> value_;
    std::vector<bool> fixed_;
    Sureness strength_ = Sureness::No;
};

} // namespace repair
