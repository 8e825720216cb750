#pragma once

#include "codec/AvcBare.h"

namespace repair {

// HEVC pictures found in media that carries no parameter sets: length-prefixed NAL units
// with valid headers chained by their lengths, from the first IDR picture on, each picture
// whole, in decode order; the bytes between (another track's) are passed over. Nothing
// when no IDR picture is found.
std::optional<BarePictures> findHevcBarePictures(const std::uint8_t* data, std::size_t size);

// Parameter sets under which they decode, searched for from the sets Debian's x265 writes
// with the coding tools of its presets, 8- or 10-bit; nothing when none fits by the deadline.
// Without SAO both bit depths may decode the pictures alike: 8 bits are then assumed, and
// `unsure` says so (the result may be the wrong pictures).
struct HevcBareParams {
    std::vector<std::uint8_t> vps, sps, pps; // NAL units, header included
    std::string what;                        // what the search settled
    std::string unsure;                      // what it could not tell, when something
};
std::optional<HevcBareParams> inferHevcBareParams(const BarePictures& p,
                                                  std::chrono::steady_clock::time_point deadline);

} // namespace repair
