#pragma once

#include "box/ByteSource.h"
#include "box/Reference.h"
#include "walk/Recovered.h"
#include "write/MoovWriter.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace repair {

// The summary a person reads after every run, in a few lines: per track its kind, codec
// and figures ("video: H.264 High 1920×1080 29.97 fps, 4 min 12.5 s (7,566 frames)"), each
// damaged stretch and the time it took, and the outcome.

// A line per track of `ref`; `tracks` are the result's (input offsets: shift 0), `file` the
// file they lie in, read for the first timecode's value.
void summarizeTracks(const Reference& ref, const std::vector<TrackOut>& tracks,
                     const ByteSource& file, std::ostream& out);

// A line per damaged stretch the walk passed over, with the time each track lost there, and
// one for a zero tail left out.
void summarizeDamage(const Reference& ref, const WalkResult& walk, std::ostream& out);

// "outcome: the whole recording is back (4 min 12.5 s)", or partial and why (`partial`
// non-empty: "96.2 % of the media data came back").
void summarizeOutcome(const std::vector<TrackOut>& tracks, bool damaged, const std::string& partial,
                      std::ostream& out);

// Where the samples came from when the file's own index was stale: how many it listed and
// how many the walk found after them.
void summarizeStaleIndex(const Reference& own, const WalkResult& walk, std::ostream& out);

// "96.2 %": a share as the summary says it, never rounded up to 100 %.
std::string spokenShare(double share);

} // namespace repair
