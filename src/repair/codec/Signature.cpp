#include "codec/Signature.h"

#include <algorithm>
#include <cstdio>

namespace repair {
namespace {

constexpr std::size_t kMaxSpan = 32;
constexpr std::size_t kMaxSamples = 64;

} // namespace

Signature Signature::learn(const ByteSource& reference, const std::vector<RefSample>& samples) {
    Signature sig;
    if (samples.size() < 2) {
        return sig; // one sample cannot tell what is fixed
    }
    std::size_t span = kMaxSpan;
    std::vector<std::vector<std::uint8_t>> heads;
    for (std::size_t i = 0; i < samples.size() && i < kMaxSamples; ++i) {
        span = std::min<std::size_t>(span, samples[i].size);
        heads.push_back(reference.bytes(samples[i].offset, span));
        span = std::min(span, heads.back().size());
    }
    sig.value_.assign(heads[0].begin(), heads[0].begin() + static_cast<std::ptrdiff_t>(span));
    sig.fixed_.assign(span, true);
    for (const auto& h : heads) {
        for (std::size_t k = 0; k < span; ++k) {
            sig.fixed_[k] = sig.fixed_[k] && h[k] == sig.value_[k];
        }
    }
    while (!sig.fixed_.empty() && !sig.fixed_.back()) {
        sig.fixed_.pop_back();
        sig.value_.pop_back();
    }
    int telling = 0;
    int plain = 0;
    for (std::size_t k = 0; k < sig.fixed_.size(); ++k) {
        if (sig.fixed_[k]) {
            (sig.value_[k] == 0 || sig.value_[k] == 0xff ? plain : telling)++;
        }
    }
    sig.strength_ = telling >= 4 || (telling >= 3 && plain >= 3) ? Sureness::Sure
                    : telling >= 2 || plain >= 8                 ? Sureness::Likely
                                                                 : Sureness::No;
    return sig;
}

// A few references cannot tell a slowly changing byte (the high byte of a length, a
// counter) from a fixed one, so one in eight of the fixed bytes may differ.
bool Signature::matches(const std::uint8_t* p, std::size_t n) const {
    if (n < value_.size()) {
        return false;
    }
    std::size_t fixed = 0;
    std::size_t differ = 0;
    for (std::size_t k = 0; k < value_.size(); ++k) {
        fixed += fixed_[k];
        differ += fixed_[k] && p[k] != value_[k];
    }
    return differ <= fixed / 8;
}

std::string Signature::describe() const {
    if (strength_ == Sureness::No) {
        return "no shared leading bytes";
    }
    std::string s = "leading bytes ";
    for (std::size_t k = 0; k < value_.size(); ++k) {
        char b[4];
        std::snprintf(b, sizeof b, "%02x", value_[k]);
        s += fixed_[k] ? b : "..";
    }
    return s;
}

} // namespace repair
