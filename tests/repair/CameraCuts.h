#pragma once

#include "Layout.h"
#include "MiniMoov.h"

#include <cstdint>
#include <span>
#include <vector>

// Where the camera tests cut a recording: inside chunks of each kind, on boundaries, early,
// at each picture of a group, a few bytes into a picture, right after the smallest picture,
// between two samples of a sound chunk.
enum class CutAt { Inside, Boundary, Early, EachPicture, PictureHead, AfterSmallest, SampleEdge };

struct CutCase {
    const char* name;
    CutAt at;
    const char* handler;   // Inside: the chunk's track handler
    double where;          // fraction of the mdat payload
    bool shortReference;   // also repaired against the one-second reference
    bool sizeZero = false; // the mdat's 32-bit size left at 0, as a camera does until it closes
};

std::span<const CutCase> cameraCuts();

// Where to cut a recording for a case; nothing when the kind has no such place.
std::vector<std::uint64_t> cutPoints(const camlayout::Truth& t, const TableTrack* video,
                                     const CutCase& c);
