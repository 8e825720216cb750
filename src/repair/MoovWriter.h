#pragma once

#include "Reference.h"
#include "SampleTables.h"

#include <cstdint>
#include <vector>

namespace repair {

struct TrackOut {
    const RefTrack* ref = nullptr;
    std::uint32_t id = 1;
    TrackTables tables;
    std::int64_t mediaTime = -1; // where presentation starts in media time; -1: no edit list
};

// A complete moov box for the given tracks; headers and sample descriptions come from
// the reference, sample tables and durations from the repaired media.
std::vector<std::uint8_t> buildMoov(std::uint32_t movieTimescale,
                                    const std::vector<TrackOut>& tracks);

std::uint64_t mediaDuration(const TrackOut& track);

} // namespace repair
