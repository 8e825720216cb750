#pragma once

#include <cstdint>
#include <vector>

namespace repair {

// An hvcC payload with the VPS, SPS and PPS that Debian's x265 writes by default (preset
// medium: Main 4:2:0 8-bit, CTBs of 64 down to coding blocks of 8, transforms of 4 to 32,
// SAO, temporal MV prediction, wavefronts, weighted P prediction, sign hiding, adaptive
// QP) for 1280x720 pictures, and NAL lengths of lengthSize bytes. The start of a search
// for the sets of a stream that carries none.
std::vector<std::uint8_t> x265DefaultConfig(int lengthSize);

} // namespace repair
