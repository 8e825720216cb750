#pragma once

#include <optional>
#include <string>
#include <vector>

namespace repair {

struct Options {
    bool verbose = false;    // --uverbose
    bool ffVerbose = false;  // --ffverbose
    bool keepTmp = false;    // --keeptmp
    bool help = false;       // --help
    int gopMask = 1;         // --gopm
    int gopLoop = 1;         // --gopl
    int samplesPerChunk = 0; // --smpltrk
    int h264Level = 12;      // --h264alg
    int aacLowGain = 80;     // --aacgg
    double fps = 0;          // --fps: video frame rate when neither index nor stream says it
    std::string reference;
    std::optional<std::string> broken;
};

// Parses the command line (program name excluded). Throws RepairError (usage) with a
// one-line reason for unknown options, missing or out-of-range values.
Options parseOptions(const std::vector<std::string>& args);

// The text --help prints.
std::string helpText();

} // namespace repair
