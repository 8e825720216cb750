#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace repair {

// H.264 pictures found in media that carries no parameter sets: length-prefixed NAL units
// from the first IDR picture on, each picture whole, in decode order.
struct BarePictures {
    int lengthSize = 4;
    std::vector<std::vector<std::uint8_t>> pictures; // length-prefixed NAL units
    std::vector<std::uint8_t> keySlice;              // the start of the first IDR slice
};

// The first pictures of the media data in [data, data + size): NAL units with valid
// headers chained by their length prefixes, a slice starting at macroblock 0 opening a
// picture; the bytes between (another track's) are passed over. Nothing when no IDR
// picture is found.
std::optional<BarePictures> findBarePictures(const std::uint8_t* data, std::size_t size);

// Parameter sets under which the pictures decode, searched for from the fields Debian's
// x264 and cameras write by default; nothing when none fits by the deadline.
struct BareParams {
    std::vector<std::uint8_t> sps, pps; // NAL units, header included
    std::string unsure;                 // a field no decoding shows, when one is guessed
};
std::optional<BareParams> inferBareParams(const BarePictures& p,
                                          std::chrono::steady_clock::time_point deadline);

} // namespace repair
