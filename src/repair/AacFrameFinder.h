#pragma once

#include "AacConfig.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct AVCodecContext;
struct AVPacket;
struct AVFrame;

namespace repair {

// Finds where raw AAC frames end by letting libavcodec decode them: a frame decodes
// only when all of its bytes are present, and the decoder reports how much of a longer
// buffer each frame used.
class AacFrameFinder {
public:
    AacFrameFinder(const AacConfig& config, int lowGainThreshold);
    ~AacFrameFinder();
    AacFrameFinder(const AacFrameFinder&) = delete;
    AacFrameFinder& operator=(const AacFrameFinder&) = delete;

    bool ok() const { return ctx_ != nullptr; }
    std::size_t maxFrameBytes() const { return maxFrame_; }

    // Cheap test of the first syntax element: can an AAC frame start with these bytes?
    bool plausibleStart(const std::uint8_t* p, std::size_t n) const;

    // Lengths of the complete frames that follow one another from data[0]. otherStart(i)
    // says that another sample (or the end of the media) begins at data[i]; atEnd says
    // that data reaches the end of the media, so a last frame may end exactly there.
    std::vector<std::uint32_t> frames(const std::uint8_t* data, std::size_t size, bool atEnd,
                                      const std::function<bool(std::size_t)>& otherStart);

    // True when data[0, size) decodes as exactly one whole frame or more.
    bool decodes(const std::uint8_t* data, std::size_t size);

private:
    std::vector<std::size_t> decodeRun(const std::uint8_t* data, std::size_t size);
    std::size_t lastFrameLength(const std::uint8_t* data, std::size_t size, bool atEnd,
                                const std::function<bool(std::size_t)>& otherStart);
    bool send(const std::uint8_t* data, std::size_t size);

    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int channels_ = 0;
    int lowGain_ = 0;
    std::size_t maxFrame_ = 0;
};

} // namespace repair
