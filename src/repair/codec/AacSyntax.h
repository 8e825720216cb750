#pragma once

#include "codec/AacLayout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// The layout of a configuration whose frames can be walked here: 1024-sample frames of AAC
// Main, LC or LTP (also under SBR or PS) with channels by configuration number, not by a
// program_config_element. Nothing otherwise.
std::optional<AacLayout> aacLayout(const std::vector<std::uint8_t>& audioSpecificConfig);

struct AacBlock {
    enum class Result : std::uint8_t {
        Bad,     // libavcodec refuses these bytes as a frame
        Ok,      // a frame, up to endBit
        Unknown, // only libavcodec can tell (it would change its configuration here)
    };
    Result result = Result::Bad;
    std::size_t endBit = 0; // just past the END element
    // The bits it needs in view: a fill element's count is checked against what is left
    // even where fewer bits are read, so this may go past endBit.
    std::size_t neededBits = 0;
    bool audio = false; // holds a channel element, so decoding it gives samples
    int channels = 0;   // carried by its channel elements
};

// Walks one raw_data_block from data[0] to its END element, taking and refusing what
// libavcodec's AAC decoder would with the track's own configuration.
AacBlock walkRawDataBlock(const AacLayout& layout, const std::uint8_t* data, std::size_t size);

// The frame that libavcodec decodes next from a packet: frames without a channel are passed
// over, and it is said to start where it does and take `length` bytes.
struct AacStep {
    AacBlock::Result result = AacBlock::Result::Bad;
    std::size_t start = 0;
    std::size_t length = 0; // taken by libavcodec
    std::size_t needed = 0; // bytes it needs in view to be taken
    int channels = 0;
};

// Walks one track's frames, remembering the last whole frame by its bytes: the first frame
// of a chunk is asked about more than once (a quick look while another track asks, then
// its run), and the same bytes walk the same way.
class AacWalker {
public:
    explicit AacWalker(const AacLayout& layout) : layout_(layout) {}

    AacBlock walk(const std::uint8_t* data, std::size_t size);
    // The frame decoded next from the packet data[at, size).
    AacStep next(const std::uint8_t* data, std::size_t size, std::size_t at);

private:
    AacLayout layout_;
    std::vector<std::uint8_t> lastBytes_; // all the bytes the last frame needs
    AacBlock last_;
};

} // namespace repair
