#pragma once

#include "box/ByteSource.h"
#include "codec/MpegSyntax.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// One sample's start codes, as far as they tell where it ends and what it shows.
struct MpegUnit {
    bool valid = false;
    PictureHeader picture;   // the first picture of the sample
    bool opensGroup = false; // with a sequence or GOP header (MPEG-2), GOV or VOL (MPEG-4)
    bool gopHeader = false;  // MPEG-2: temporal references count from 0 again
    std::optional<std::int64_t> gopPictures; // MPEG-2: its time code, in pictures
    std::optional<std::int64_t> govSeconds;
    std::optional<MpegState> vol; // a VOL inside the sample
    std::uint64_t pictureAt = 0;
    // Where the picture's end is looked for when another track's chunk follows: after the
    // start of its last slice (MPEG-2) or its header (MPEG-4), else after its first slice.
    std::uint64_t searchFrom = 0;
    std::uint64_t fallbackFrom = 0;
    std::uint64_t next = 0; // a start code opening the next sample, or where the scan ended
    bool nextOpens = false;
};

// Header bytes read after a start code: enough for a VOL with all its options.
constexpr std::size_t kMpegHeaderBytes = 64;

class MpegUnitReader {
public:
    MpegUnitReader(MpegStandard standard, std::int64_t framesPerSecond)
        : standard_(standard), framesPerSecond_(framesPerSecond) {}

    // The sample's start codes from pos on, up to the start code that opens the next one
    // or `end`. With headersOnly, stops after the first header that opens a sample.
    MpegUnit read(const ByteSource& media, std::uint64_t pos, std::uint64_t end,
                  const MpegState& state, bool headersOnly) const;

private:
    bool inside(std::uint8_t code, const std::uint8_t* body, std::size_t len, std::uint64_t at,
                int pictures, int& want, MpegUnit& u) const;
    bool groupHeader(std::uint8_t code, const std::uint8_t* body, std::size_t len, MpegUnit& u,
                     MpegState& state) const;

    MpegStandard standard_;
    std::int64_t framesPerSecond_; // whole frames a second, as time codes count them
};

// The VOL of an MPEG-4 decoder configuration, read into `state`.
void readConfigVol(const std::vector<std::uint8_t>& config, MpegState& state);

} // namespace repair
