#pragma once

#include "box/Reference.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// What codec families read from a reference track's first sample description beyond what
// the reference reader keeps: the picture size and the entry's child boxes.
struct PictureSize {
    int width = 0;
    int height = 0;
};
std::optional<PictureSize> pictureSize(const RefTrack& track);

// The payload of the entry's first child box of this type, also looked for inside a
// QuickTime 'wave' box; empty when there is none.
std::vector<std::uint8_t> entryBox(const RefTrack& track, std::uint32_t type);

// The same box whole, header included (decoders that take the box as their configuration).
std::vector<std::uint8_t> entryBoxWhole(const RefTrack& track, std::uint32_t type);

} // namespace repair
