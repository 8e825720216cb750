#pragma once

#include <string>

namespace repair {

// The repaired file's name: the broken file's full name and "_untrunc.mp4".
inline std::string resultPath(const std::string& brokenPath) {
    return brokenPath + "_untrunc.mp4";
}

// Share of the media data that must be accounted for to call a repair whole.
constexpr double kWholeRepair = 0.99;

} // namespace repair
