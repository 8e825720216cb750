#pragma once

#include "box/Reference.h"

#include <cstdint>
#include <string>
#include <vector>

// Streams of samples for the codec families' own test: a reference track (its sample
// description and first samples) and the samples of a "broken" recording to lay end to end.
struct CodecStream {
    repair::RefTrack track;
    std::vector<std::uint8_t> reference; // the bytes the track's first samples point into
    std::vector<std::vector<std::uint8_t>> samples;
    std::vector<bool> sync; // per sample, as the codec must say; empty: all sync
};

using Bytes = std::vector<std::uint8_t>;

// ffmpeg-made: `args` go between the lavfi input and the output file (in `dir`).
CodecStream ffmpegVideo(const std::string& dir, const char* fourcc, const std::string& source,
                        const std::vector<std::string>& args);
CodecStream ffmpegSound(const std::string& dir, const char* fourcc,
                        const std::vector<std::string>& args);

// Made here, for forms ffmpeg does not write.
CodecStream jpegFields(const std::string& dir, const char* fourcc, bool mjpgHeaders,
                       std::size_t padding);
CodecStream mjpegB();
CodecStream eac3Frames(int blocks, bool dependent);
// MPEG-4 Part 2 from ffmpeg with a VOP that is not coded after every third picture.
CodecStream mpeg4NotCoded(const std::string& dir);
