#pragma once

#include "BrokenFile.h"
#include "MediaWalker.h"
#include "Reference.h"

#include <iosfwd>

namespace repair {

// Human-readable summaries for the console.
void describeReference(const Reference& ref, std::ostream& out);
void describeWalk(const WalkResult& walk, const MediaData& media, bool verbose, std::ostream& out);

} // namespace repair
