#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVPacket;
struct AVFrame;

namespace repair {

// One libavcodec decoder used as a judge: does a byte range hold exactly one whole frame?
// Decoders are opened single-threaded and strict, so that a frame that is cut short or
// runs on into other bytes reports an error instead of being concealed.
class AvDecoder {
public:
    // codecId is an AVCodecID; extradata is the decoder configuration (may be empty).
    // lowDelay: pictures come out as they are decoded, not in display order.
    AvDecoder(int codecId, const std::vector<std::uint8_t>& extradata, bool lowDelay = false);
    ~AvDecoder();
    AvDecoder(const AvDecoder&) = delete;
    AvDecoder& operator=(const AvDecoder&) = delete;

    bool ok() const { return ctx_ != nullptr; }

    // Decodes data[0, size) as one packet. fresh: forget earlier packets first (audio; video
    // keeps its reference pictures). True when the decoder took it without an error.
    bool decode(const std::uint8_t* data, std::size_t size, bool fresh);
    // Audio samples (per channel) the last decode gave; 0 for none.
    int samples() const { return samples_; }
    // Frames the last decode gave, and whether the last came out without concealed errors.
    int frames() const { return frames_; }
    bool clean() const { return clean_; }

    // Decodes data[0, size) on its own, as the first packet of a stream, and drains the
    // decoder: a keyframe or a sound frame judged alone. True when a frame came out and
    // the decoder reported nothing wrong on the way.
    bool decodeAlone(const std::uint8_t* data, std::size_t size);
    // What the last frame decodeAlone gave looks like: "1280x720 High", "48000 Hz 2 ch LC".
    const std::string& looks() const { return looks_; }
    // Decodes packets in order from a fresh start, as a stream, and drains the decoder:
    // true when each gave a picture and the decoder reported nothing wrong.
    bool decodeRun(const std::vector<std::vector<std::uint8_t>>& packets);
    // The size of the last picture decodeAlone or decodeRun gave.
    int width() const { return width_; }
    int height() const { return height_; }

private:
    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int samples_ = 0;
    int frames_ = 0;
    int width_ = 0, height_ = 0;
    bool clean_ = true;
    std::string looks_;

    bool receiveAll();
    void describeFrame();
};

} // namespace repair
