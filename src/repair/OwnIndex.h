#pragma once

#include "Options.h"
#include "box/BrokenFile.h"
#include "box/Reference.h"
#include "write/MoovWriter.h"
#include "write/OwnTables.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace repair {

// A file that carries its own index: a whole moov before its media data (a "fast start"
// file), read as its own reference, with every track's samples kept up to the first one
// the file does not hold whole.
struct OwnIndex {
    Reference ref;
    MediaData media;
    std::vector<OwnTrack> tracks; // in the order of ref.tracks
    bool fragmented = false;      // the index comes from moof boxes, not the moov's tables
    std::uint64_t fragments = 0;  // moof boxes read
    // Fragments whose moof was lost or damaged, their media data walked instead.
    struct Damaged {
        std::uint64_t fragments = 0;
        std::uint64_t bytes = 0;     // of their media data
        std::uint64_t explained = 0; // of those, told as samples by the walk
    } damaged;

    // Some sample the index lists is missing or incomplete: the file was cut.
    bool cut() const;
    // One past the last byte of a kept sample; media.begin when nothing is kept.
    std::uint64_t keptEnd() const;
    // Media written after everything the index lists (zeros at the end aside): a recorder
    // that rewrites its index now and then leaves, when cut off, an index that lists only
    // what it had written by its last rewrite.
    bool stale(const ByteSource& file) const;
};

// Nothing when the file has no whole moov before its first mdat, or its tracks list no
// sample, unless it is fragmented (see Fragmented.h). Never throws.
std::optional<OwnIndex> readOwnIndex(const ByteSource& file);

// The output tracks for media copied so that input byte x lands at x + shift; tracks that
// kept no sample are left out.
std::vector<TrackOut> ownTracksOut(const OwnIndex& own, std::int64_t shift);

// A recording that needs no repair: its top-level boxes follow one another to the end of
// the file, and its moov lists samples, every one of them whole inside its media data.
bool isWholeRecording(const ByteSource& file);

// Whether the file has an index that lists samples (a moov with sample tables).
bool hasIndex(const ByteSource& file);

// The file's own index lists every sample whole, but media follows what it lists: the
// index is the file's own reference for a walk over all of its media.
bool hasStaleIndex(const ByteSource& file);

enum class OwnIndexUse {
    Always,  // the broken file of a repair: its own index beats any reference
    WhenCut, // a file given alone: repaired only when it was cut or is fragmented (an
             // unfinished recording, as far as it can be told), else described
};

// Repairs the file (opened from `path`) from its own index when it has one (and, WhenCut, it
// was cut); returns the exit status, or nothing (and writes nothing) when it is not such a file
// or its index is stale.
std::optional<int> repairFromOwnIndex(const Options& options, const FileSource& file,
                                      const std::string& path, OwnIndexUse use, std::ostream& out,
                                      std::ostream& err);

} // namespace repair
