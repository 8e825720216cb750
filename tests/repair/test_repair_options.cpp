// Command-line parsing: every option of the help text, values, ranges and misuse.
#include "Check.h"
#include "Options.h"
#include "box/RepairError.h"

#include <string>
#include <vector>

using namespace repair;

namespace {

struct GoodCase {
    const char* name;
    std::vector<std::string> args;
    Options expected;
};

Options with(void (*set)(Options&)) {
    Options o;
    o.reference = "ref.mp4";
    o.broken = "bad.mp4";
    set(o);
    return o;
}

std::vector<GoodCase> goodCases() {
    return {
        {"defaults", {"ref.mp4", "bad.mp4"}, with([](Options&) {})},
        {"as Kestrel passes interleave",
         {"--gopm", "12", "--gopl", "10", "--uverbose", "ref.mp4", "bad.mp4"},
         with([](Options& o) {
             o.gopMask = 12;
             o.gopLoop = 10;
             o.verbose = true;
         })},
        {"samples per chunk", {"--smpltrk", "100", "ref.mp4", "bad.mp4"}, with([](Options& o) {
             o.samplesPerChunk = 100;
         })},
        {"flags", {"--ffverbose", "--keeptmp", "ref.mp4", "bad.mp4"}, with([](Options& o) {
             o.ffVerbose = true;
             o.keepTmp = true;
         })},
        {"recognition and gain",
         {"--h264alg", "10", "--aacgg=0", "ref.mp4", "bad.mp4"},
         with([](Options& o) {
             o.h264Level = 10;
             o.aacLowGain = 0;
         })},
        {"reference only", {"ref.mp4"}, with([](Options& o) { o.broken.reset(); })},
    };
}

bool same(const Options& a, const Options& b) {
    return a.verbose == b.verbose && a.ffVerbose == b.ffVerbose && a.keepTmp == b.keepTmp &&
           a.help == b.help && a.gopMask == b.gopMask && a.gopLoop == b.gopLoop &&
           a.samplesPerChunk == b.samplesPerChunk && a.h264Level == b.h264Level &&
           a.aacLowGain == b.aacLowGain && a.reference == b.reference && a.broken == b.broken;
}

struct BadCase {
    const char* name;
    std::vector<std::string> args;
    const char* reasonPart;
};

const BadCase kBad[] = {
    {"no files", {}, "no reference"},
    {"three files", {"a", "b", "c"}, "too many"},
    {"unknown option", {"--fast", "a", "b"}, "unknown option --fast"},
    {"missing value", {"a", "b", "--gopm"}, "needs a value"},
    {"not a number", {"--gopl", "x1", "a", "b"}, "whole number"},
    {"trailing junk", {"--gopl", "3x", "a", "b"}, "whole number"},
    {"gopm zero", {"--gopm", "0", "a", "b"}, "between 1 and"},
    {"smpltrk above 100", {"--smpltrk", "101", "a", "b"}, "between 0 and 100"},
    {"h264alg below 10", {"--h264alg", "9", "a", "b"}, "between 10 and 12"},
    {"aacgg above 127", {"--aacgg", "128", "a", "b"}, "between 0 and 127"},
};

} // namespace

int main() {
    Checks c;
    for (const auto& t : goodCases()) {
        bool ok = false;
        try {
            ok = same(parseOptions(t.args), t.expected);
        } catch (const RepairError& e) {
            std::cerr << "  " << e.what() << "\n";
        }
        c.expect(ok, std::string("parse: ") + t.name);
    }
    for (const auto& t : kBad) {
        std::string reason;
        int code = 0;
        try {
            parseOptions(t.args);
        } catch (const RepairError& e) {
            reason = e.what();
            code = static_cast<int>(e.code());
        }
        c.equal(code, static_cast<int>(ExitCode::Usage), std::string("usage error: ") + t.name);
        c.expect(reason.find(t.reasonPart) != std::string::npos,
                 std::string("reason names the fault: ") + t.name + " (" + reason + ")");
    }
    c.expect(parseOptions({"--help"}).help, "--help needs no files");
    const std::string help = helpText();
    for (const char* opt : {"--uverbose", "--ffverbose", "--keeptmp", "--gopm", "--gopl",
                            "--smpltrk", "--h264alg", "--aacgg", "--help", "_untrunc.mp4"}) {
        c.expect(help.find(opt) != std::string::npos, std::string("help mentions ") + opt);
    }
    c.expect(help.find("Accepted for compatibility") != std::string::npos,
             "help says the interleave values no longer steer the repair");
    c.expect(help.find("6 partial repair") != std::string::npos, "help lists the partial status");
    return c.finish();
}
