#pragma once

#include "Engine.h"
#include "box/Reference.h"
#include "walk/Recovered.h"

#include <iosfwd>
#include <string>

namespace repair {

// The technical figures of a run, for --uverbose.
void describeReference(const Reference& ref, const Engine& engine, std::ostream& out);

// The share of the media data (up to the cut) that the walk accounted for; damaged
// stretches passed over count as not accounted for.
double mediaShare(const WalkResult& walk);

// The walk in figures, for --uverbose: per track the samples and chunks found, the damage
// passed over, the share accounted for, and where and why the walk stopped.
void describeWalk(const Reference& ref, const WalkResult& walk, std::ostream& out);

// "99.5%", never rounded up to 100 % when something is missing.
std::string describeShare(double share);

} // namespace repair
