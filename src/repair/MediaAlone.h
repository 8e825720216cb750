#pragma once

#include "Options.h"
#include "box/BrokenFile.h"
#include "box/Reference.h"

#include <string>

namespace repair {

// A reference made from the broken file's own media, for a recording cut off before its
// index was written when no other recording from its camera is at hand: the video from the
// parameter sets its stream repeats, its chunk layout from a scan of the first part of the
// media, and the sound from the runs of bytes between the video chunks.
struct MediaAlone {
    Reference ref;
    std::string headline; // "no reference: video H.264 High 1280×720 from ..."
    std::string dropped;  // why the bytes between the video chunks are not in the result
    std::string unsure;   // what the media does not tell, where a guess stands in for it
};

// H.264 or HEVC whose parameter sets were only in the lost index has them inferred from its
// first pictures. Throws RepairError (bad input) when the media carries no video parameter sets
// and none are inferred, and (no media) when no access unit follows them.
MediaAlone referenceFromMedia(const ByteSource& file, const MediaData& media, const Options& o);

} // namespace repair
