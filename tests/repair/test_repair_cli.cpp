// The tool as a program: exit statuses, one-line failure reasons, the result file's name,
// every option of the help text accepted in a real run, and the help's and README.md's codec
// lists against the registry.
#include "Check.h"
#include "MediaFixture.h"
#include "Process.h"
#include "codec/Codec.h"

#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const Recording kCamera = {"camera", 25, 2, 44100, 2};

struct Files {
    std::string dir, good, ref, noMoov, text, opus, ftypOnly, zeros, blocked, damaged;
};

bool makeFiles(Files& f) {
    f.dir = makeTempDir("repair-cli");
    f.good = f.dir + "/clip.mp4";
    f.ref = f.dir + "/ref.mp4";
    f.noMoov = f.dir + "/nomoov.mp4";
    f.text = f.dir + "/notes.txt";
    f.opus = f.dir + "/opus.mp4";
    f.ftypOnly = f.dir + "/ftyp.mp4";
    f.zeros = f.dir + "/zeros.mp4";
    f.blocked = f.dir + "/blocked.mp4";
    f.damaged = f.dir + "/damaged.mp4";
    const std::string ftyp("\0\0\0\x10"
                           "ftypisom\0\0\0\0",
                           16);
    bool ok = !f.dir.empty() && makeRecording(f.ref, kCamera, "testsrc2", 5, 2.0) &&
              makeRecording(f.dir + "/full.mp4", kCamera, "testsrc", 6, 3.0) &&
              runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                          "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i", "anoisesrc=r=48000",
                          "-t", "1", "-c:v", "libx264", "-c:a", "libopus", f.opus})
                      .status == 0;
    const auto size = ok ? fs::file_size(f.dir + "/full.mp4") : 0;
    ok = ok && cutCopy(f.dir + "/full.mp4", f.good, size * 2 / 3) &&
         cutCopy(f.good, f.noMoov, size / 2) && cutCopy(f.good, f.blocked, size / 2);
    ok = ok && writeFile(f.text, "just some words, not a video\n") && writeFile(f.ftypOnly, ftyp) &&
         writeFile(f.zeros, ftyp + std::string("\0\0\0\0mdat", 8) + std::string(50000, '\0'));
    // Everything after the first two fifths overwritten with noise.
    std::string bytes = ok ? readFile(f.good) : std::string();
    for (std::size_t i = bytes.size() * 2 / 5, x = 1; i < bytes.size(); ++i) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        bytes[i] = static_cast<char>(x >> 56);
    }
    ok = ok && writeFile(f.damaged, bytes);
    // A folder with the result's name: the result cannot take it.
    fs::create_directory(f.blocked + "_untrunc.mp4");
    return ok;
}

struct FailCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* reasonPart;
};

int lineCount(const std::string& s) {
    int n = 0;
    for (char ch : s) {
        n += ch == '\n';
    }
    return n;
}

void failures(Checks& c, const Files& f) {
    const FailCase cases[] = {
        {"no arguments", {}, 1, "no reference file"},
        {"unknown option", {"--turbo", f.ref, f.good}, 1, "unknown option --turbo"},
        {"bad value", {"--smpltrk", "500", f.ref, f.good}, 1, "between 0 and 100"},
        {"trailing junk", {"--gopl", "3x", f.ref, f.good}, 1, "whole number"},
        {"missing value", {f.ref, f.good, "--aacgg"}, 1, "needs a value"},
        {"three files", {f.ref, f.good, f.text}, 1, "too many"},
        {"reference not an MP4", {f.text, f.good}, 2, "reference file is not an MP4"},
        {"reference without moov", {f.noMoov, f.good}, 2, "no moov"},
        {"unsupported sound codec",
         {f.opus, f.good},
         3,
         "'Opus' is not supported: its packets carry no length"},
        {"broken holds no media", {f.ref, f.text}, 4, "no media samples found"},
        {"broken without mdat", {f.ref, f.ftypOnly}, 4, "no mdat"},
        {"broken holds only zeros", {f.ref, f.zeros}, 4, "no media samples"},
        {"output not writable", {f.ref, f.blocked}, 5, "cannot write the result as"},
        {"broken file whole", {f.ref, f.dir + "/full.mp4"}, 2, "is whole: nothing to repair"},
        {"files swapped", {f.good, f.dir + "/full.mp4"}, 2, "were the two swapped?"},
    };
    for (const auto& t : cases) {
        std::vector<std::string> argv{UNTRUNC_W};
        argv.insert(argv.end(), t.args.begin(), t.args.end());
        const RunResult r = runProgram(argv);
        c.equal(r.status, t.status, std::string(t.name) + ": exit status");
        c.expect(r.output.rfind("untrunc-w: ", 0) == 0 && lineCount(r.output) == 1 &&
                     r.output.find(t.reasonPart) != std::string::npos,
                 std::string(t.name) + ": one-line reason, got: " + r.output);
    }
    c.expect(!fs::exists(f.zeros + "_untrunc.mp4") && !fs::exists(f.zeros + "_untrunc.mp4.tmp") &&
                 !fs::exists(f.dir + "/full.mp4_untrunc.mp4"),
             "a failed run leaves no result and no .tmp");
}

// Less than the whole media data came back: the result is still written, the status says
// partial and the last line says where recognition stopped.
void partial(Checks& c, const Files& f) {
    const RunResult r = runProgram({UNTRUNC_W, f.ref, f.damaged});
    c.equal(r.status, 6, "noise after 40%: partial repair status\n" + r.output);
    c.expect(fs::exists(f.damaged + "_untrunc.mp4"), "noise after 40%: result written");
    const auto last = r.output.rfind("untrunc-w: partial repair: recognition stopped at byte ");
    c.expect(last != std::string::npos && r.output.find('\n', last) == r.output.size() - 1,
             "noise after 40%: the last line says where recognition stopped");
    c.expect(r.output.find("\noutcome: partial — ") != std::string::npos &&
                 r.output.find(" of the media data came back\n") != std::string::npos,
             "noise after 40%: the outcome says how much came back");
}

// The summary of a successful run: its lines from the first track's to the outcome.
std::string recovered(const std::string& output) {
    const auto at = output.find("\nvideo: ");
    const auto end = output.find("\noutcome: ");
    return at == std::string::npos || end < at ? "" : output.substr(at, end - at);
}

// "name | kind" of each row of README.md's codec table.
std::set<std::string> readmeCodecs() {
    std::set<std::string> rows;
    std::istringstream in(readFile(README_MD));
    bool table = false;
    for (std::string line; std::getline(in, line) && (!table || line.rfind('|', 0) == 0);) {
        const auto kindEnd = line.find(" | ", line.find(" | ", 2) + 3);
        if (table && line.rfind("|---", 0) != 0 && kindEnd != std::string::npos) {
            rows.insert(line.substr(2, kindEnd - 2));
        }
        table = table || line.rfind("| codec | kind |", 0) == 0;
    }
    return rows;
}

// Each codec family of the registry has its line in --help ("  kind  name  entries") and its
// row in README.md, and the README names no family the registry lacks.
void codecLists(Checks& c, const std::string& help) {
    std::set<std::string> registry;
    for (const repair::CodecFamily* f : repair::codecFamilies()) {
        const std::string kind = f->kind, name = f->name;
        std::istringstream lines(help);
        bool listed = false;
        for (std::string line; std::getline(lines, line) && !listed;) {
            listed = line.rfind("  " + kind + " ", 0) == 0 &&
                     line.find(" " + name + "  ") != std::string::npos;
        }
        c.expect(listed, "--help lists the " + kind + " codec " + name);
        registry.insert(name + " | " + kind);
    }
    const std::set<std::string> readme = readmeCodecs();
    for (const auto& row : registry) {
        c.expect(readme.count(row) == 1, "README.md's codec table has " + row);
    }
    for (const auto& row : readme) {
        c.expect(registry.count(row) == 1, "README.md's codec row " + row + " is in the registry");
    }
}

void successes(Checks& c, const Files& f) {
    const std::string before = readFile(f.good);
    const RunResult base = runProgram({UNTRUNC_W, f.ref, f.good});
    c.equal(base.status, 0, "plain run succeeds\n" + base.output);
    c.expect(fs::exists(f.good + "_untrunc.mp4"), "result is <broken>_untrunc.mp4");
    c.expect(!fs::exists(f.good + "_untrunc.mp4.tmp"), "no .tmp left after success");
    c.expect(readFile(f.good) == before, "broken file unchanged");
    c.expect(recovered(base.output).find("\nvideo: H.264 High 320×240 25 fps, ") == 0 &&
                 base.output.find("\nsound: AAC 44.1 kHz 2 ch, ") != std::string::npos &&
                 base.output.find("\noutcome: the whole recording is back (") != std::string::npos,
             "the summary names the codecs and figures\n" + base.output);
    const std::vector<std::vector<std::string>> variants = {
        {"--uverbose"},      {"--ffverbose"},
        {"--keeptmp"},       {"--gopm", "12", "--gopl", "10"},
        {"--smpltrk", "5"},  {"--h264alg", "10"},
        {"--h264alg", "11"}, {"--aacgg", "0"},
        {"--aacgg", "127"},  {"--fps", "29.97"},
    };
    for (const auto& v : variants) {
        std::vector<std::string> argv{UNTRUNC_W};
        argv.insert(argv.end(), v.begin(), v.end());
        argv.insert(argv.end(), {f.ref, f.good});
        const RunResult r = runProgram(argv);
        const std::string name = v[0] + (v.size() > 1 ? " " + v[1] : "");
        c.equal(r.status, 0, name + ": exit status\n" + r.output);
        c.equal(recovered(r.output), recovered(base.output), name + ": same samples recovered");
    }
    const RunResult verbose = runProgram({UNTRUNC_W, "--uverbose", f.ref, f.good});
    c.expect(verbose.output.find("reference track 1 (id 1, vide avc1)") != std::string::npos &&
                 verbose.output.find("\nchunk: track 2 (mp4a) at ") != std::string::npos &&
                 lineCount(verbose.output) > lineCount(base.output),
             "--uverbose prints more");
    const RunResult help = runProgram({UNTRUNC_W, "--help"});
    c.expect(help.status == 0 && help.output.find("Usage: untrunc-w") != std::string::npos,
             "--help prints usage and succeeds");
    codecLists(c, help.output);
    const RunResult describe = runProgram({UNTRUNC_W, f.ref});
    c.expect(describe.status == 0 && describe.output.find("(id 2, soun mp4a)") != std::string::npos,
             "reference alone is described\n" + describe.output);
}

} // namespace

int main() {
    Checks c;
    Files f;
    c.expect(makeFiles(f), "test files made");
    failures(c, f);
    partial(c, f);
    successes(c, f);
    fs::remove_all(f.dir);
    return c.finish();
}
