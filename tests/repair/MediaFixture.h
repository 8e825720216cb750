#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Test videos made and inspected with Debian's ffmpeg/ffprobe, started from argument lists.

struct Recording {
    const char* name;
    int gop;       // frames per GOP
    int bframes;   // 0: none
    int audioRate; // 0: no audio track
    int channels;
    bool hevc = false; // libx265 (hvc1) instead of libx264
};

// Records `seconds` of a test pattern (camera-like H.264/HEVC + AAC, moov at the end);
// noise picks the audio noise sequence.
bool makeRecording(const std::string& path, const Recording& rec, const char* pattern, int noise,
                   double seconds);

struct Packet {
    int stream = 0;
    std::uint64_t pos = 0;
    std::uint64_t size = 0;
};
std::vector<Packet> packets(const std::string& path);

// Decoded frames in output order: stream, the file range of the packet they came from
// (when the file has an index) and the MD5 of the decoded picture or sound.
struct Frame {
    int stream = 0;
    std::uint64_t pos = 0;
    std::uint64_t size = 0;
    long long pts = 0; // presentation time stamp, in the stream's time base
    std::string md5;
};
std::vector<Frame> decodedFrames(const std::string& path, bool withPositions);

// Writes the first `bytes` of src to dst.
bool cutCopy(const std::string& src, const std::string& dst, std::uint64_t bytes);
// Overwrites four bytes of a file with a big-endian value.
bool patchU32(const std::string& path, std::uint64_t offset, std::uint32_t value);

// Length of the longest common subsequence: frames recovered in order.
std::size_t commonInOrder(const std::vector<std::string>& a, const std::vector<std::string>& b);

std::string makeTempDir(const char* prefix);
