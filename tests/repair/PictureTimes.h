#pragma once

#include "MiniMoov.h"

#include <cstdint>
#include <string>

// Whether the pictures a repair kept are shown as in the original: every video sample complete
// before `cut` must come back with the original's composition time (decode time plus offset,
// compared in seconds) and sync flag, whatever pictures the cut took away after it.
// Empty when they do; else the first difference.
std::string pictureTimesMismatch(const TableTrack& original, const TableTrack& repaired,
                                 std::uint64_t cut);
