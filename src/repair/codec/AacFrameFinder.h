#pragma once

#include "codec/AacConfig.h"
#include "codec/AacSyntax.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct AVCodecContext;
struct AVPacket;
struct AVFrame;

namespace repair {

// Finds where raw AAC frames end, as libavcodec's decoder would: a frame decodes only when
// all of its bytes are present, and the decoder reports how much of a longer buffer each
// frame used. Where the configuration allows, frames are walked by their syntax instead of
// decoded, with the same answers; the decoder is asked only where the walk cannot tell.
class AacFrameFinder {
public:
    // walk: false to always decode (to compare the two).
    AacFrameFinder(const AacConfig& config, int lowGainThreshold, bool walk = true);
    ~AacFrameFinder();
    AacFrameFinder(const AacFrameFinder&) = delete;
    AacFrameFinder& operator=(const AacFrameFinder&) = delete;

    bool ok() const { return ctx_ != nullptr; }
    std::size_t maxFrameBytes() const { return maxFrame_; }

    // Cheap test of the first syntax element: can an AAC frame start with these bytes?
    bool plausibleStart(const std::uint8_t* p, std::size_t n) const;
    // A 1-channel frame start whose global_gain is below the threshold: such bytes also
    // read as a short NAL length prefix, so they need decoding before they count.
    bool lowGain(const std::uint8_t* p, std::size_t n) const;

    // How the bytes handed to frames() end.
    struct View {
        bool reachesEnd = false; // they run up to the end of the media data
        bool endIsReal = false;  // that end is the recorded end, not a cut
    };

    // Lengths of the complete frames that follow one another from data[0]. otherStart(i)
    // says that another sample begins at data[i]; sureStart(i) says so cheaply, for the
    // tracks that can be surely recognised.
    std::vector<std::uint32_t> frames(const std::uint8_t* data, std::size_t size, View view,
                                      const std::function<bool(std::size_t)>& otherStart,
                                      const std::function<bool(std::size_t)>& sureStart);

    // True when data[0, size) decodes as exactly one whole frame or more.
    bool decodes(const std::uint8_t* data, std::size_t size);

private:
    using Stop = std::function<bool(std::size_t)>;
    struct Run {
        std::vector<std::size_t> starts;
        bool stopped = false;
        std::optional<std::size_t> lastEnd; // bytes the last frame needs, when walked
    };
    Run decodeRun(const std::uint8_t* data, std::size_t size, const Stop& stop);
    std::optional<Run> walkRun(const std::uint8_t* data, std::size_t size, const Stop& stop);
    std::optional<std::size_t> walkedEnd(const std::uint8_t* data, std::size_t longest);
    bool decodesAt(const std::uint8_t* data, std::size_t size, std::optional<std::size_t> end);
    std::size_t shortestDecoding(const std::uint8_t* data, std::size_t longest);
    std::size_t lastFrameLength(const std::uint8_t* data, std::size_t size, View view,
                                const Stop& otherStart, const Stop& sureStart,
                                std::optional<std::size_t> walked);
    bool send(const std::uint8_t* data, std::size_t size);
    bool libavDecodes(const std::uint8_t* data, std::size_t size);

    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int channels_ = 0;
    int lowGain_ = 0;
    std::size_t maxFrame_ = 0;
    std::optional<AacWalker> walker_; // set when frames can be walked
};

} // namespace repair
