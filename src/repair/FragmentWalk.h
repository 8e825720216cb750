#pragma once

#include "box/ByteSource.h"
#include "box/Reference.h"
#include "write/SampleTables.h"

#include <optional>
#include <vector>

namespace repair {

// The samples of a fragment whose moof is lost or damaged, found by walking its media data
// as an unfragmented recording's, with what the file's good fragments taught of its tracks
// (`ref`, read from the file itself) as the reference.
struct WalkedFragment {
    std::vector<std::optional<TrackTables>> tracks; // in ref's order; chunk offsets in the file
    std::uint64_t lostToCut = 0;                    // bytes of a sample the end of the file cut off
};

WalkedFragment walkFragment(const ByteSource& file, const Reference& ref, std::uint64_t begin,
                            std::uint64_t end, bool cut);

} // namespace repair
