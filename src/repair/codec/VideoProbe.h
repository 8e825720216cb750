#pragma once

#include "box/ByteSource.h"
#include "codec/H264Nal.h"
#include "codec/NalSyntax.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace repair {

enum class Verdict {
    No,       // not an H.264 NAL unit of this stream
    Weak,     // length and header fit, but the slice header could not be checked
    Strong,   // everything the chosen recognition level checks fits
    Truncated // a plausible NAL unit whose length runs past the end of the media
};

struct NalProbe {
    Verdict verdict = Verdict::No;
    std::uint64_t size = 0; // length prefix included
    NalKind kind;
    std::optional<SliceHeader> slice;
    // Verdict No only because nothing known follows it (damage, or a track that cannot be
    // told): the unit itself checks out.
    bool followerFailed = false;
};

struct VideoProbeSettings {
    VideoCodec codec = VideoCodec::H264;
    int lengthSize = 4;
    std::uint64_t maxNal = 1u << 20;
    // 10: length and NAL header; 11: also slice headers and parameter sets;
    // 12: also what follows the NAL unit must be able to start a sample.
    int level = 12;
};

// Decides whether an H.264 or HEVC NAL unit (with its length prefix) starts at a position.
class VideoProbe {
public:
    VideoProbe(const ByteSource& src, std::uint64_t limit, const ParamSets& params,
               VideoProbeSettings settings)
        : src_(src), limit_(limit), params_(params), s_(settings) {}

    // Says whether an audio frame could start at a position (for the look-ahead).
    void setAudioStart(std::function<bool(std::uint64_t)> test) { audioStart_ = std::move(test); }

    // p/avail may hold the bytes at pos already; the probe reads what it misses.
    NalProbe probe(std::uint64_t pos, const std::uint8_t* p, std::size_t avail) const;
    NalProbe probe(std::uint64_t pos, int level) const;

    const VideoProbeSettings& settings() const { return s_; }

private:
    NalProbe check(std::uint64_t pos, const std::uint8_t* p, std::size_t avail, int level) const;
    bool strongBody(std::uint64_t pos, const std::uint8_t* p, std::size_t avail, NalProbe& r) const;
    bool followerFits(std::uint64_t next) const;
    bool zeroedAfter(std::uint64_t next, const std::uint8_t* b, std::size_t got) const;
    std::optional<std::uint64_t> fixedSize(const NalProbe& r) const;
    bool nonSliceFits(std::uint64_t pos, NalProbe& r) const;
    std::uint64_t lengthAt(const std::uint8_t* p) const;

    const ByteSource& src_;
    std::uint64_t limit_;
    const ParamSets& params_;
    VideoProbeSettings s_;
    std::function<bool(std::uint64_t)> audioStart_;
};

} // namespace repair
