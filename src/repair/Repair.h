#pragma once

#include "MediaWalker.h"
#include "Options.h"
#include "Reference.h"

#include <iosfwd>
#include <string>

namespace repair {

// Walk settings for a broken file recorded like the reference.
WalkSetup makeWalkSetup(const Reference& ref, const Options& options);

// The repaired file's name: the broken file's full name and "_untrunc.mp4".
std::string resultPath(const std::string& brokenPath);

// Runs the tool as the command line asks; messages go to out, the failure reason to err.
int runTool(const Options& options, std::ostream& out, std::ostream& err);

} // namespace repair
