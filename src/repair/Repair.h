#pragma once

#include "Options.h"

#include <iosfwd>
#include <string>

namespace repair {

// The repaired file's name: the broken file's full name and "_untrunc.mp4".
std::string resultPath(const std::string& brokenPath);

// Share of the media data that must be accounted for to call a repair whole.
constexpr double kWholeRepair = 0.99;

// Runs the tool as the command line asks; messages go to out, the failure reason to err.
int runTool(const Options& options, std::ostream& out, std::ostream& err);

} // namespace repair
