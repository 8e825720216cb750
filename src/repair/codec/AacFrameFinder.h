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
    std::vector<std::size_t> decodeRun(const std::uint8_t* data, std::size_t size,
                                       const std::function<bool(std::size_t)>& stop, bool& stopped);
    std::size_t shortestDecoding(const std::uint8_t* data, std::size_t longest);
    std::size_t lastFrameLength(const std::uint8_t* data, std::size_t size, View view,
                                const std::function<bool(std::size_t)>& otherStart,
                                const std::function<bool(std::size_t)>& sureStart);
    bool send(const std::uint8_t* data, std::size_t size);

    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int channels_ = 0;
    int lowGain_ = 0;
    std::size_t maxFrame_ = 0;
};

} // namespace repair
