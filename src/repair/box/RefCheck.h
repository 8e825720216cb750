#pragma once

#include "box/Reference.h"

#include <string>

namespace repair {

// Checks a reference read by readReference before the repair learns from it: a moov cut
// off ends the run (status 2, naming the reference); a track whose sample tables or sample
// description do not hold together gets its fault.
void checkReference(Reference& ref, const ByteSource& file, const std::string& name);

// Ends the run (status 2) when the reference's video tracks all have a fault, or all its
// tracks do: saying why. Call before settleLeftOut.
void requireUsable(const Reference& ref, const std::string& name);

} // namespace repair
