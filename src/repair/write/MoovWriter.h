#pragma once

#include "box/Reference.h"
#include "write/SampleTables.h"

#include <cstdint>
#include <vector>

namespace repair {

struct TrackOut {
    const RefTrack* ref = nullptr;
    TrackTables tables;
    std::int64_t mediaTime = -1;   // where presentation starts in media time; -1: as the reference
    std::uint64_t emptyBefore = 0; // media time shown as nothing before the first sample
};

// A complete moov box for the given tracks: every box of the reference that does not
// describe the samples is kept as it is (durations updated), the sample tables are new.
std::vector<std::uint8_t> buildMoov(const Reference& ref, const std::vector<TrackOut>& tracks);

// A time of one timescale in another.
inline std::uint64_t rescale(std::uint64_t v, std::uint32_t from, std::uint32_t to) {
    return from == 0 ? 0 : static_cast<std::uint64_t>(static_cast<long double>(v) * to / from);
}

// Duration of a track as presented (its empty start included), in the given timescale.
std::uint64_t presentedDuration(const TrackOut& t, std::uint32_t timescale);

} // namespace repair
