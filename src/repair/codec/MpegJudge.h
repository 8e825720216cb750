#pragma once

#include "box/ByteSource.h"
#include "box/Reference.h"
#include "codec/AvDecoder.h"
#include "codec/MpegSyntax.h"

#include <cstdint>
#include <vector>

namespace repair {

enum class WholeVerdict : std::uint8_t { NotExact, Exact, Unknown };

// Whether bytes hold exactly one picture, as libavcodec's strict decoder sees it: bytes that
// run on past the last macroblock fail, and bytes cut short fail or leave macroblocks to be
// concealed. I and P pictures are judged by a decoder of their own; B pictures need the
// reference pictures before them, so a second decoder follows the pictures taken, and a B
// picture that it skips cannot be judged. The bytes judged must hold the whole picture
// header: a header cut short can leave the decoder guessing its fields from then on.
class MpegJudge {
public:
    MpegJudge(MpegStandard standard, const std::vector<std::uint8_t>& config,
              const ByteSource& reference, const std::vector<RefSample>& samples);

    // False when the decoder is missing or does not judge the reference's own first picture
    // right: then only start codes can tell.
    bool ok() const { return ok_; }
    WholeVerdict judge(const std::uint8_t* data, std::size_t size, PictureType type);
    // A picture taken (not a B picture): the following decoder moves on.
    void follow(const ByteSource& media, std::uint64_t pos, std::uint64_t size);

private:
    WholeVerdict verdict(const std::uint8_t* data, std::size_t size, PictureType type);

    AvDecoder pictures_;
    AvDecoder stream_;
    bool ok_ = false;
};

} // namespace repair
