#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

struct RefTrack;

// How libavcodec decodes a track as the reference's sample description has it: to check
// that a recording fits the reference before its repair is called whole.
struct DecoderSetup {
    int codecId = 0; // an AVCodecID
    std::vector<std::uint8_t> extradata;
    int nalLengthSize = 0; // NAL video: the length prefix of its NAL units; 0 otherwise
};

// Nothing for codecs that are not checked this way.
std::optional<DecoderSetup> decoderSetup(const RefTrack& track);

// A sample of length-prefixed NAL units with start codes instead, so that a decoder given
// no configuration reads the parameter sets the sample carries itself. Empty when the
// lengths do not add up.
std::vector<std::uint8_t> withStartCodes(const std::vector<std::uint8_t>& sample, int lengthSize);

} // namespace repair
