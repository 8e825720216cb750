#pragma once

#include "box/ByteSource.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace repair {

struct OutputPlan {
    std::string path;               // final name
    bool keepTmp = false;           // a failed run leaves what it wrote as "<path>.tmp"
    std::vector<std::uint8_t> head; // ftyp and the other boxes before the media data
    std::uint64_t copyBegin = 0;    // media bytes of the broken file to copy
    std::uint64_t copyEnd = 0;
};

// Size of the mdat header the output gets for a payload of this size.
std::uint64_t mdatHeaderSize(std::uint64_t payload);

// Writes ftyp, mdat (media copied from the broken file, which stays untouched) and the
// moov that moovFor builds for the output offset of the first copied byte. The file is
// written unseen and takes the name `path` only when whole (see ResultFile); throws
// RepairError on failure.
void writeOutput(const OutputPlan& plan, const FileSource& broken,
                 const std::function<std::vector<std::uint8_t>(std::uint64_t)>& moovFor);

} // namespace repair
