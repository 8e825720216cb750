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
    std::uint64_t copyBegin = 0;    // media bytes of the broken file to copy: all of them, or
    std::uint64_t copyEnd = 0;      // the most a walk run during the copy can keep
};

// A walk run while the media is copied behind it: it tells the copy how far it has read
// and returns where the media to keep ends.
using WalkDuringCopy =
    std::function<std::uint64_t(const std::function<void(std::uint64_t)>& reached)>;
// The moov for the output offset of the first copied byte.
using MoovFor = std::function<std::vector<std::uint8_t>(std::uint64_t payloadStart)>;

// Size of the mdat header the output gets for a payload of this size.
std::uint64_t mdatHeaderSize(std::uint64_t payload);

// Writes ftyp, mdat (media copied from the broken file, which stays untouched) and the
// moov that moovFor builds. With a walk, the media is copied while it runs, up to where it
// ends; without one, copyBegin to copyEnd. The file is written unseen and takes the name
// `path` only when whole (see ResultFile); throws RepairError on failure, or what the walk
// throws.
void writeOutput(const OutputPlan& plan, const FileSource& broken, const WalkDuringCopy& walk,
                 const MoovFor& moovFor);

} // namespace repair
