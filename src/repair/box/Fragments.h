#pragma once

#include "box/Box.h"
#include "box/ByteSource.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// Movie fragments: a moov whose mvex announces them lists no samples; each moof that
// follows describes its own, with defaults from its tfhd and from the moov's trex.

// sample_flags: sample_is_non_sync_sample.
constexpr std::uint32_t kNonSyncSample = 0x10000;

// The defaults one trex gives a track.
struct TrackDefaults {
    std::uint32_t trackId = 0;
    std::uint32_t duration = 0, size = 0, flags = 0;
};

struct FragmentSample {
    std::uint64_t offset = 0; // in the file
    std::uint32_t size = 0;
    std::uint32_t duration = 0;
    std::uint32_t compositionOffset = 0; // as written; signed in a version 1 trun
    bool sync = true;
};

// One traf: a track's samples in one fragment, in decode order.
struct TrackFragment {
    std::uint32_t trackId = 0;
    std::optional<std::uint64_t> decodeTime; // tfdt
    bool compositionOffsets = false;         // some trun gives them
    std::vector<FragmentSample> samples;
};

struct MovieFragment {
    std::vector<TrackFragment> tracks;
};

// The trex defaults of a moov's mvex; nothing when the moov has no mvex.
std::optional<std::vector<TrackDefaults>> readMovieExtends(const ByteSource& file,
                                                           const BoxHeader& moov);

// The samples a whole moof describes, where its base data offset rules put them. Only
// trafs of tracks that have defaults are read. A trun's sample count is trusted as far as
// its box holds entries, or, when the samples have no entries, as far as the file holds
// their bytes. Nothing when the moof is too large to be a recording's, or places samples
// outside the mdat that follows it (a damaged trun).
std::optional<MovieFragment> readMovieFragment(const ByteSource& file, const BoxHeader& moof,
                                               const std::vector<TrackDefaults>& defaults);

// Top-level box types that may sit among fragments.
bool isFragmentLevelType(std::uint32_t type);

} // namespace repair
