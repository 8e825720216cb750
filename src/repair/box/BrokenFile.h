#pragma once

#include "ByteSource.h"

#include <cstdint>
#include <vector>

namespace repair {

// Where the media data of an unfinished recording lies.
struct MediaData {
    std::uint64_t begin = 0; // first payload byte of mdat
    std::uint64_t end = 0;   // end of the payload, clamped to the file
    bool cut = false;        // the size field was 0 or reached past the end of the file
    std::vector<std::uint8_t> ftyp;
    // The small top-level boxes before the media data (ftyp, uuid, free, ...), kept as the
    // head of the repaired file.
    std::vector<std::uint8_t> head;
};

// Finds the first mdat among the top-level boxes; throws RepairError when the file is not
// an MP4/MOV file or holds no media data.
MediaData findMediaData(const ByteSource& file);

} // namespace repair
