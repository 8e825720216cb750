#pragma once

#include "box/ByteSource.h"
#include "box/Reference.h"
#include "walk/Recovered.h"

#include <string>
#include <vector>

namespace repair {

// A reference made in another mode of the camera (another bitrate, picture size or
// profile) has parameter sets that do not fit the recording: its pictures would come back
// whole and still not decode. For each H.264/HEVC track whose first pictures do not decode
// with the reference's configuration, this puts in the recording's own parameter sets —
// those its keyframes carry, else ones inferred from its pictures — into the reference's
// sample description and track size. Returns a line for each track changed; the walk is
// to be done again with the changed reference, as picture order depends on them. Throws
// RepairError (mismatch) when the pictures decode neither with the reference's parameter
// sets nor with any found.
std::vector<std::string> fitParameterSets(Reference& ref, const ByteSource& refFile,
                                          const WalkResult& walk, const ByteSource& broken);

} // namespace repair
