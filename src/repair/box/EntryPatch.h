#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// A picture size and decoder configuration to put into a visual sample entry.
struct VideoEntryChange {
    std::uint16_t width = 0, height = 0;
    std::uint32_t configType = 0;     // 'avcC' or 'hvcC'
    std::vector<std::uint8_t> config; // the configuration box's payload
};

// The stsd box with its first entry's width, height and configuration child replaced and
// the sizes of the entry and the stsd adjusted; the other entries and children stay as
// they are. Nothing when the first entry is not laid out as a visual entry with that child.
std::optional<std::vector<std::uint8_t>> withVideoEntry(const std::vector<std::uint8_t>& stsd,
                                                        const VideoEntryChange& change);

// A tkhd box (version 0 or 1) with its presentation size set; false when it is too short.
bool setTrackSize(std::vector<std::uint8_t>& tkhd, std::uint16_t width, std::uint16_t height);

} // namespace repair
