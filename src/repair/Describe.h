#pragma once

#include "Engine.h"
#include "box/Reference.h"
#include "walk/Recovered.h"

#include <iosfwd>
#include <string>

namespace repair {

// Human-readable summaries for the console.
void describeReference(const Reference& ref, const Engine& engine, std::ostream& out);

// The summary of a repair: per track what came back, and where and why the walk stopped.
// Returns the share of the media data (up to the cut) that the walk accounted for; damaged
// stretches passed over count as not accounted for.
double describeWalk(const Reference& ref, const WalkResult& walk, std::ostream& out);

// "99.5%", never rounded up to 100 % when something is missing.
std::string describeShare(double share);

} // namespace repair
