#pragma once

#include "Options.h"

#include <iosfwd>
#include <string>

namespace repair {

// Runs the tool as the command line asks; messages go to out, the failure reason to err.
int runTool(const Options& options, std::ostream& out, std::ostream& err);

} // namespace repair
