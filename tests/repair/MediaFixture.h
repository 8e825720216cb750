#pragma once

#include "Check.h"

#include <cstdint>
#include <functional>
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

// Writes the first `bytes` of src to dst.
bool cutCopy(const std::string& src, const std::string& dst, std::uint64_t bytes);
// Overwrites four bytes of a file with a big-endian value.
bool patchU32(const std::string& path, std::uint64_t offset, std::uint32_t value);

std::string readFile(const std::string& path);
// Overwrites `n` bytes of `bytes` at `at` with big-endian `v`.
void putBe(std::string& bytes, std::uint64_t at, std::uint64_t v, int n);
bool writeFile(const std::string& path, const std::string& bytes);

std::string makeTempDir(const char* prefix);
// Runs `body` with a check counter and a new temporary folder, removed afterwards unless
// KEEP_REPAIR_FILES is set; returns the program's exit status.
int inTempDir(const char* prefix, const std::function<void(Checks&, const std::string&)>& body);
