#pragma once

#include "box/ByteSource.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// MPEG-1/2 video and MPEG-4 Part 2 visual: streams of units that each open with a start
// code 00 00 01 xx. What a sample of each is made of, and the header fields the walk needs.
enum class MpegStandard : std::uint8_t { Mpeg2, Mpeg4 };

// Where the next start code prefix begins, from `from` on; nullopt when none starts before
// `end` (or the bytes end).
std::optional<std::uint64_t> nextStartCode(const ByteSource& src, std::uint64_t from,
                                           std::uint64_t end);

// The role of a start code value within a sample.
enum class CodeRole : std::uint8_t {
    Opens,   // may open a sample: sequence, GOP, VOL, GOV headers ...
    Picture, // a picture (MPEG-2) or VOP (MPEG-4): opens a sample unless headers came first
    Inside,  // slices, extensions, user data: part of the sample they follow
    Closes,  // sequence end: the last bytes of the sample it follows
    Foreign, // not expected in a camera's video stream
};
CodeRole codeRole(MpegStandard standard, std::uint8_t code);

enum class PictureType : std::uint8_t { None, I, P, B, S };

// The fields of the headers that tell a sample's picture kind, display time and layout.
struct MpegState {
    // MPEG-4: from the VOL (the reference's decoder configuration or the stream itself)
    int timeBits = 0;
    std::uint32_t timeResolution = 0;
    std::uint32_t fixedIncrement = 0; // every VOP time a multiple of it; 0: not fixed
    bool rectangular = true;
    // MPEG-4 display time bookkeeping, in seconds
    std::int64_t timeBase = 0;
    std::int64_t lastTimeBase = 0;
};

struct PictureHeader {
    bool valid = false;
    PictureType type = PictureType::None;
    int temporalReference = 0;      // MPEG-2
    bool coded = true;              // MPEG-4: vop_coded
    std::size_t notCodedBytes = 0;  // MPEG-4, not coded: the VOP's bytes with its start code
    std::size_t headerBytes = 8;    // with the start code: a judged picture holds at least these
    std::uint32_t secondsAdded = 0; // MPEG-4 modulo_time_base
    std::uint32_t timeIncrement = 0;
};

// The header that follows a start code, checked as far as it has fixed bits. `p` points
// after the start code's four bytes.
bool sequenceHeaderSound(const std::uint8_t* p, std::size_t n);
bool gopHeaderSound(MpegStandard standard, const std::uint8_t* p, std::size_t n);
PictureHeader readPicture(MpegStandard standard, const std::uint8_t* p, std::size_t n,
                          const MpegState& state);
// MPEG-2 picture coding extension: a field picture?
std::optional<bool> fieldPicture(const std::uint8_t* p, std::size_t n);
// MPEG-4 VOL: time resolution, fixed VOP rate and shape; false when it does not parse.
bool readVol(const std::uint8_t* p, std::size_t n, MpegState& state);
// MPEG-2 GOP time code as a count of pictures from 00:00:00:00, at the given whole frame
// rate (30 for 29.97 Hz).
std::optional<std::int64_t> gopPictureCount(const std::uint8_t* p, std::size_t n,
                                            std::int64_t framesPerSecond);
// MPEG-4 GOV time code, in seconds.
std::optional<std::int64_t> govSeconds(const std::uint8_t* p, std::size_t n);
// Advances the MPEG-4 time base for a VOP taken in decode order; gives its display time in
// units of the time resolution.
std::int64_t vopTime(MpegState& state, const PictureHeader& vop);

// An MPEG-4 decoder configuration's object type that means MPEG-1/2 video (ISO/IEC 14496-1
// Table 5), and the QuickTime sample entry codes of MPEG-2 video.
bool isMpeg2ObjectType(std::uint8_t objectType);
bool isMpeg2Code(std::uint32_t code);

} // namespace repair
