#pragma once

#include "box/Box.h"
#include "box/Fragments.h"

#include <optional>

namespace repair {

// Where fragments resume after a damaged one: the first mdat header met after the damage
// (the lost fragment's media data, when its header survived) and the first moof that reads
// whole and fits its media data. Both found by looking for their box type byte by byte, a
// block at a time.
struct FragmentResume {
    std::optional<BoxHeader> mdat; // before moof, when found
    std::optional<BoxHeader> moof; // nothing: no good fragment follows
    MovieFragment fragment;        // what that moof lists
};

FragmentResume findResume(const ByteSource& file, std::uint64_t from,
                          const std::vector<TrackDefaults>& defaults);

} // namespace repair
