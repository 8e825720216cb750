#pragma once

#include "box/Reference.h"

#include <cstdint>
#include <vector>

namespace repair {

// The boxes of a track no index described, made new for media told from its own bytes.

// A movie header: the given timescale, the next track id past `lastTrackId`.
std::vector<std::uint8_t> newMvhd(std::uint32_t timescale, std::uint32_t lastTrackId);

// tkhd, mdhd, hdlr, the media header and dinf of t, from its id, handler and timescale; a
// video track shows width × height.
void giveTrackBoxes(RefTrack& t, int width, int height);

// An stsd of one visual sample entry with its configuration box (avcC, hvcC).
std::vector<std::uint8_t> videoStsd(std::uint32_t codec, int width, int height,
                                    std::uint32_t configType,
                                    const std::vector<std::uint8_t>& config);

// An stsd of one sound sample entry (version 0, or 2 as `info` says), with a child box
// when configType is not 0.
std::vector<std::uint8_t> soundStsd(std::uint32_t codec, const SoundInfo& info,
                                    std::uint32_t configType,
                                    const std::vector<std::uint8_t>& config);

} // namespace repair
