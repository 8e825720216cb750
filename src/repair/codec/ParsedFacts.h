#pragma once

#include "codec/NalSyntax.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace repair {

// What libavcodec's parsers read from a stream's own headers, for media without a sample
// description.
struct VideoFacts {
    int width = 0;
    int height = 0;
    std::string profile; // "High", "Main"; empty when not known
    int level = 0;
    int fpsNum = 0, fpsDen = 0; // from the timing in the SPS (VUI) or VPS; 0 when absent
    int chromaFormat = 1;       // 4:2:0
    int bitDepth = 8;
};

// From parameter sets and a slice with start codes (see annexB).
std::optional<VideoFacts> videoFacts(VideoCodec codec, const std::vector<std::uint8_t>& annexB);

struct SoundFacts {
    int sampleRate = 0;
    int channels = 0; // 0: the parser did not say (E-AC-3)
    bool eac3 = false;
};

// From one whole AC-3 or E-AC-3 syncframe.
std::optional<SoundFacts> ac3Facts(const std::uint8_t* frame, std::size_t size);

} // namespace repair
