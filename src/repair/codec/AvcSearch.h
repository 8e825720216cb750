#pragma once

#include "codec/AvcSlice.h"
#include "codec/AvcSyntax.h"

#include <string>
#include <utility>
#include <vector>

namespace repair {

// One guess at a stream's parameter sets.
struct AvcCandidate {
    AvcSpsFields sps;
    AvcPpsFields pps;
    std::pair<int, int> qpDelta{0, 0}; // what its slice headers say, once read
};

// The parameter sets tried for a stream that carries none, nearest the reference's
// first. The fields a slice header shows are settled from the headers alone; those only
// decoding shows (picture size, transform mode, initial QP, reference frames) are varied
// for each header fit.
class AvcSearch {
public:
    AvcSearch(AvcCandidate ref, std::vector<AvcSliceData> slices);

    // The header fields under which every slice reads and frame numbers follow on.
    const std::vector<AvcCandidate>& headerFits() const { return fits_; }
    // Picture sizes, transform modes and initial QPs for a header fit.
    std::vector<AvcCandidate> decodeVariants(const AvcCandidate& c) const;
    // Reference frame counts, which only the pictures after the keyframe show.
    std::vector<AvcCandidate> streamVariants(const AvcCandidate& c) const;
    // "640x360, Constrained Baseline, CAVLC, frame numbers of 4 bits, ..." against the reference.
    std::string changes(const AvcCandidate& c) const;

private:
    AvcCandidate ref_;
    std::vector<AvcSliceData> slices_;
    std::vector<AvcCandidate> fits_;
    bool bSlices_ = false;

    void findHeaderFits();
};

} // namespace repair
