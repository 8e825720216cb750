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

// One track's run in a lost fragment, as the next fragment's tfdt tells it: so many samples
// of one duration.
struct ExpectedRun {
    std::size_t track = 0; // in ref's order
    std::uint64_t samples = 0;
    std::uint32_t duration = 0;
    // The size of a sample in the fragment before: all are that size when the codec's
    // samples are alike (PCM frames grouped in packets).
    std::uint32_t size = 0;
};

// The lost fragment read as the given runs one after the other, each sample as long as its
// codec says; nothing unless they fill [begin, end) exactly.
std::optional<WalkedFragment> countFragment(const ByteSource& file, const Reference& ref,
                                            std::uint64_t begin, std::uint64_t end,
                                            const std::vector<ExpectedRun>& runs);

} // namespace repair
