#pragma once

#include "box/ByteSource.h"

#include <cstdint>
#include <vector>

namespace repair {

struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// Where the media data of an unfinished recording lies.
struct MediaData {
    std::uint64_t begin = 0; // first payload byte of the first mdat (or where to look)
    std::uint64_t end = 0;   // end of the media, clamped to the file
    bool cut = false;        // the media runs to where the file was cut off
    // No readable box says where the media starts (no header, a garbled head): the walk
    // looks for it, starting at the reference's own media offset.
    bool search = false;
    std::vector<ByteRange> holes; // boxes between several mdat boxes: not media
    std::vector<std::uint8_t> ftyp;
    // The small top-level boxes before the media data (ftyp, uuid, free, ...), kept as the
    // head of the repaired file.
    std::vector<std::uint8_t> head;
};

// Finds the media data: the mdat boxes among the top-level boxes, read as one run; when
// the head of the file is missing or garbled, everything after the last readable box.
// Throws RepairError when the file holds nothing that could be media.
MediaData findMediaData(const ByteSource& file);

} // namespace repair
