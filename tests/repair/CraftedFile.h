#pragma once

#include "box/ByteSource.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// Small fast-start files made byte by byte, for tests of the reader of a file's own index:
// ftyp, a moov of one track whose tables say what the case wants, then the media data.

using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// One track's tables as written; counts default to what the box holds.
struct CraftedTrack {
    std::uint32_t stszSize = 0;
    std::vector<std::uint32_t> sizes;
    std::optional<std::uint32_t> stszCount;
    std::vector<std::int64_t> chunks; // offsets from the first media byte
    std::uint64_t farChunk = 0;       // > 0: one more chunk at this file offset
    std::optional<std::uint32_t> chunkCount;
    bool co64 = false;
    std::vector<std::array<std::uint32_t, 3>> stsc;
    Pairs stts;
    std::optional<std::uint32_t> sttsCount;
    std::optional<Pairs> ctts;
    std::uint8_t cttsVersion = 0;
    std::optional<std::vector<std::uint32_t>> stss;
    std::optional<std::uint32_t> stssCount;
    bool sound = false; // 'twos', 2 channels of 16 bits
};

// The moov box, its chunk offsets counted from `media`.
std::vector<std::uint8_t> craftMoov(const CraftedTrack& t, std::uint64_t media);

// ftyp, moov, then an mdat (size 0: to the end) of which `held` payload bytes are there.
std::vector<std::uint8_t> craftFile(const CraftedTrack& t, std::uint64_t held);

// A file of `size` bytes: the crafted head, then zeros nobody allocates.
class HugeSource : public repair::ByteSource {
public:
    HugeSource(std::vector<std::uint8_t> head, std::uint64_t size)
        : head_(std::move(head)), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const override;

private:
    std::vector<std::uint8_t> head_;
    std::uint64_t size_;
};
