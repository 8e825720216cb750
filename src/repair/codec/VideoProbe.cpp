#include "codec/VideoProbe.h"

#include "codec/H265Nal.h"

#include <algorithm>

namespace repair {
namespace {

// Bytes a probe looks at: length prefix plus enough of a slice header.
constexpr std::size_t kProbeBytes = 64;
constexpr std::size_t kMaxParamSetBytes = 1024;
// Fewer bytes of a slice than its header usually takes.
constexpr std::size_t kMinSliceHeaderBytes = 8;
// Zero bytes after a NAL unit that count as wiped media rather than a following unit.
constexpr std::size_t kZeroedBytes = 8;

} // namespace

std::uint64_t VideoProbe::lengthAt(const std::uint8_t* p) const {
    std::uint64_t n = 0;
    for (int i = 0; i < s_.lengthSize; ++i) {
        n = (n << 8) | p[i];
    }
    return n;
}

NalProbe VideoProbe::probe(std::uint64_t pos, const std::uint8_t* p, std::size_t avail) const {
    return check(pos, p, avail, s_.level);
}

NalProbe VideoProbe::probe(std::uint64_t pos, int level) const {
    return check(pos, nullptr, 0, level);
}

NalProbe VideoProbe::check(std::uint64_t pos, const std::uint8_t* p, std::size_t avail,
                           int level) const {
    NalProbe r;
    std::uint8_t local[kProbeBytes];
    const std::uint64_t left = pos < limit_ ? limit_ - pos : 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kProbeBytes, left));
    if (avail < want) {
        avail = src_.read(pos, local, want);
        p = local;
    }
    const auto ls = static_cast<std::size_t>(s_.lengthSize);
    const auto hs = static_cast<std::size_t>(nalHeaderSize(s_.codec));
    if (avail < ls + hs) {
        return r;
    }
    const std::uint64_t n = lengthAt(p);
    if (n < hs || n > s_.maxNal || !plausibleHeader(s_.codec, p + ls)) {
        return r;
    }
    r.kind = classify(s_.codec, p + ls);
    r.size = ls + n;
    const bool truncated = r.size > left;
    if (level >= 11 && !strongBody(pos, p, avail, r)) {
        return r;
    }
    if (truncated) {
        r.verdict = Verdict::Truncated;
    } else if (level >= 12 && !followerFits(pos + r.size)) {
        r.followerFailed = r.verdict == Verdict::No;
        r.verdict = Verdict::No;
    } else if (r.verdict == Verdict::No) {
        r.verdict = level >= 11 ? Verdict::Strong : Verdict::Weak;
    }
    return r;
}

// Checks the NAL body as far as the level asks; may downgrade to Weak when the parameter
// sets are not known yet (in-band ones come later).
bool VideoProbe::strongBody(std::uint64_t pos, const std::uint8_t* p, std::size_t avail,
                            NalProbe& r) const {
    const auto ls = static_cast<std::size_t>(s_.lengthSize);
    const std::size_t body =
        static_cast<std::size_t>(std::min<std::uint64_t>(avail - ls, r.size - ls));
    if (r.kind.vcl) {
        r.slice = s_.codec == VideoCodec::Hevc ? parseHevcSliceHeader(p + ls, body, params_)
                                               : parseSliceHeader(p + ls, body, params_);
        if (!r.slice && params_.empty()) {
            r.verdict = Verdict::Weak;
            return true;
        }
        // A cut a few bytes into a picture leaves too little of its slice header to check:
        // it is a cut-off sample all the same, not the next track's bytes.
        return r.slice.has_value() || (r.size > limit_ - pos && body < kMinSliceHeaderBytes);
    }
    if (r.size > limit_ - pos) {
        // The end of a cut-off NAL unit cannot be seen: only a kind that can be that long.
        return !fixedSize(r).has_value() &&
               !((r.kind.sps || r.kind.pps) && r.size - ls > kMaxParamSetBytes);
    }
    return nonSliceFits(pos, r);
}

// The size of the NAL units whose payload has a fixed length: an access unit delimiter
// (one byte), the end of a sequence or stream (none).
std::optional<std::uint64_t> VideoProbe::fixedSize(const NalProbe& r) const {
    const auto ls = static_cast<std::uint64_t>(s_.lengthSize);
    const std::uint64_t hs = static_cast<std::uint64_t>(nalHeaderSize(s_.codec));
    const bool hevc = s_.codec == VideoCodec::Hevc;
    const int type = r.kind.type;
    if (type == (hevc ? 35 : 9)) {
        return ls + hs + 1;
    }
    if (hevc ? (type == 36 || type == 37) : (type == 10 || type == 11)) {
        return ls + hs;
    }
    return std::nullopt;
}

bool VideoProbe::nonSliceFits(std::uint64_t pos, NalProbe& r) const {
    const auto ls = static_cast<std::uint64_t>(s_.lengthSize);
    const bool hevc = s_.codec == VideoCodec::Hevc;
    if (const auto fixed = fixedSize(r)) {
        return r.size == *fixed;
    }
    if (r.kind.sps || r.kind.pps) {
        if (r.size - ls > kMaxParamSetBytes) {
            return false;
        }
        const auto nal = src_.bytes(pos + ls, static_cast<std::size_t>(r.size - ls));
        ParamSets scratch;
        return hevc ? (r.kind.sps ? scratch.addHevcSps(nal.data(), nal.size())
                                  : scratch.addHevcPps(nal.data(), nal.size()))
                    : (r.kind.sps ? scratch.addSps(nal.data(), nal.size())
                                  : scratch.addPps(nal.data(), nal.size()));
    }
    // Other non-slice NAL units end with the RBSP stop bit, so their last byte is not zero.
    std::uint8_t last = 0;
    return src_.read(pos + r.size - 1, &last, 1) == 1 && last != 0;
}

bool VideoProbe::followerFits(std::uint64_t next) const {
    if (next >= limit_) {
        return next == limit_;
    }
    std::uint8_t b[8] = {};
    const std::size_t got = src_.read(next, b, sizeof b);
    const auto ls = static_cast<std::size_t>(s_.lengthSize);
    const auto hs = static_cast<std::size_t>(nalHeaderSize(s_.codec));
    if (got < ls + hs) {
        return true; // too close to the end to rule anything out
    }
    const std::uint64_t n = lengthAt(b);
    if (n >= hs && n <= s_.maxNal && plausibleHeader(s_.codec, b + ls)) {
        return true;
    }
    return zeroedAfter(next, b, got) || (audioStart_ && audioStart_(next));
}

// Zeros that start right where a NAL unit ends, its own last byte not zero (a NAL unit
// ends in its stop bit): the unit is whole, and what follows it was wiped.
bool VideoProbe::zeroedAfter(std::uint64_t next, const std::uint8_t* b, std::size_t got) const {
    std::uint8_t last = 0;
    return got == kZeroedBytes && std::all_of(b, b + got, [](std::uint8_t c) { return c == 0; }) &&
           src_.read(next - 1, &last, 1) == 1 && last != 0;
}

} // namespace repair
