#pragma once

#include "AacConfig.h"
#include "ByteSource.h"
#include "H264Params.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

struct RefChunk {
    std::uint64_t offset = 0;
    std::uint32_t samples = 0;
};

// What the reference recording tells about one of its tracks.
struct RefTrack {
    std::uint32_t handler = 0; // 'vide' or 'soun'
    std::uint32_t codec = 0;   // sample entry type
    std::uint32_t tkhdFlags = 7;
    std::vector<std::uint8_t> tkhdTail; // layer .. height: identical in both tkhd versions
    std::vector<std::uint8_t> hdlr, mediaHeader, dinf, stsd; // whole boxes, copied as they are
    std::uint32_t timescale = 0;
    std::uint16_t language = 0x55c4; // "und"
    std::uint32_t sampleDuration = 0;
    std::uint32_t maxSampleSize = 0;
    std::uint64_t sampleCount = 0;
    bool hasStss = false;
    std::vector<std::uint32_t> syncSamples; // 1-based
    std::vector<RefChunk> chunks;
    std::int64_t editMediaTime = -1; // -1: no edit list
    std::optional<AvcConfig> avc;
    std::optional<AacConfig> aac;
};

struct Reference {
    std::uint32_t movieTimescale = 1000;
    std::vector<std::uint8_t> ftyp;
    std::optional<RefTrack> video;
    std::optional<RefTrack> audio;
};

bool isSupportedVideo(std::uint32_t codec);
bool isHevc(std::uint32_t codec);

// Reads the reference file; throws RepairError with a one-line reason when it cannot serve.
Reference readReference(const ByteSource& file);

// The bytes of [offset, end), or nothing when that is more than maxBytes.
std::vector<std::uint8_t> loadBox(const ByteSource& file, std::uint64_t offset, std::uint64_t end,
                                  std::size_t maxBytes);

} // namespace repair
