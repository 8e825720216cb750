#pragma once

#include "codec/AvcSyntax.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace repair {

// What the header of a picture's first slice says, read in full under given parameter sets.
struct AvcSliceFacts {
    bool idr = false, reference = false;
    std::uint32_t sliceType = 0; // 0..4
    std::uint32_t ppsId = 0, frameNum = 0, pocLsb = 0;
    int qpDelta = 0;
};

// The slice header up to the slice data, every field in range (the QP is not checked:
// it depends on the initial QP); with CABAC the alignment
// bits before the data must be ones. Nothing when it does not read so under sps and pps.
std::optional<AvcSliceFacts> readAvcSlice(const std::vector<std::uint8_t>& rbsp, bool idr,
                                          bool reference, const AvcSpsFields& sps,
                                          const AvcPpsFields& pps);

// Whether the first slices of pictures in decode order, from a keyframe on, read under
// the parameter sets and their frame numbers follow on as a stream without gaps has them.
// Each slice is given as its NAL header byte and its unescaped payload.
struct AvcSliceData {
    std::uint8_t header = 0;
    std::vector<std::uint8_t> rbsp;
};
// The range of their slice_qp_delta goes to qpDelta.
bool slicesFollowOn(const std::vector<AvcSliceData>& slices, const AvcSpsFields& sps,
                    const AvcPpsFields& pps, std::pair<int, int>& qpDelta);

} // namespace repair
