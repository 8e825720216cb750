#pragma once

#include "box/ByteSource.h"

#include <cstdint>
#include <optional>

namespace repair {

// One JPEG image (or field) walked from its start-of-image marker: the marker segments by
// their lengths, each scan's entropy-coded bytes up to the next marker, to end-of-image.
struct JpegImage {
    enum class Result { No, Whole, Cut };
    Result result = Result::No;
    std::uint64_t end = 0; // one past its end-of-image marker
    int width = 0;
    int height = 0;
    // From an APP1 'mjpg' header (Motion JPEG A), when there is one; offsets from the start.
    std::uint32_t paddedSize = 0;
    std::uint32_t nextField = 0;
};

// Walks the image at pos; bytes end at limit, and an image longer than maxBytes is not one.
// headersOnly stops at the first scan's header: Whole then says the headers are sound.
JpegImage scanJpeg(const ByteSource& src, std::uint64_t pos, std::uint64_t limit,
                   std::uint64_t maxBytes, bool headersOnly = false);

// A Motion JPEG B field: no markers, a header of sizes and offsets instead.
struct MjpegBField {
    bool valid = false;
    std::uint32_t paddedSize = 0;
    std::uint32_t nextField = 0;
    int width = 0;
    int height = 0;
};
MjpegBField readMjpegBField(const ByteSource& src, std::uint64_t pos, std::uint64_t limit);

} // namespace repair
