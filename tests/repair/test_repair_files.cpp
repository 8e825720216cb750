// untrunc-w's files: inputs that are not files refused by what they are, a link where a
// temporary name would go, parallel runs on one broken file, and runs ended by a signal.
#include "Check.h"
#include "MediaFixture.h"
#include "Process.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kTimeout = 30; // a run that hangs fails instead of blocking the test

struct Files {
    std::string dir, ref, broken, result;
    std::string brokenBytes, repaired; // the broken file, and the result of a run on its own
};

std::set<std::string> names(const std::string& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        out.insert(e.path().filename().string());
    }
    return out;
}

// What the folder holds besides the inputs, a special file or two and `allowed`.
std::string leftovers(const Files& f, const std::set<std::string>& allowed = {}) {
    std::string out;
    for (const auto& n : names(f.dir)) {
        const bool known = n == "ref.mp4" || n == "broken.mp4" || n == "folder" || n == "fifo" ||
                           n == "empty.mp4" || n == "victim";
        out += known || allowed.count(n) ? "" : n + " ";
    }
    return out;
}

// A recording large enough that writing its result takes a moment (lossless video).
bool record(const std::string& path, const char* seconds) {
    return runProgram({"ffmpeg",  "-v",        "error", "-y",
                       "-f",      "lavfi",     "-i",    "testsrc2=size=640x480:rate=25",
                       "-f",      "lavfi",     "-i",    "anoisesrc=r=44100",
                       "-t",      seconds,     "-c:v",  "libx264",
                       "-preset", "ultrafast", "-qp",   "0",
                       "-c:a",    "aac",       path})
               .status == 0;
}

bool makeFiles(Files& f) {
    f.dir = makeTempDir("repair-files");
    if (f.dir.empty()) {
        return false;
    }
    f.dir = fs::canonical(f.dir).string();
    f.ref = f.dir + "/ref.mp4";
    f.broken = f.dir + "/broken.mp4";
    f.result = f.broken + "_untrunc.mp4";
    const std::string full = f.dir + "/full.mp4";
    bool ok = record(f.ref, "2") && record(full, "10") &&
              cutCopy(full, f.broken, fs::file_size(full) * 9 / 10);
    fs::remove(full);
    fs::create_directory(f.dir + "/folder");
    std::ofstream(f.dir + "/empty.mp4").close();
    ok = ok && mkfifo((f.dir + "/fifo").c_str(), 0644) == 0;
    const RunResult single = runProgram({UNTRUNC_W, f.ref, f.broken}, kTimeout);
    f.brokenBytes = readFile(f.broken);
    f.repaired = readFile(f.result);
    fs::remove(f.result);
    return ok && single.status == 0 && !f.repaired.empty();
}

struct Special {
    const char* name;
    std::string path;
    const char* reason;
    int statusAsBroken;
};

// Not a file: refused at once by what it is, with nothing written.
void specialInputs(Checks& c, const Files& f) {
    const Special cases[] = {
        {"directory", f.dir + "/folder", "a directory, not a file", 2},
        {"FIFO with no writer", f.dir + "/fifo", "a FIFO, not a file", 2},
        {"/dev/null", "/dev/null", "a character device, not a file", 2},
        {"missing file", f.dir + "/absent.mp4", "No such file or directory", 2},
        {"empty file", f.dir + "/empty.mp4", "is empty", 4},
    };
    for (const auto& t : cases) {
        for (const bool asBroken : {true, false}) {
            const std::string what = std::string(t.name) + (asBroken ? " as broken" : " as ref");
            const RunResult r =
                runProgram(asBroken ? std::vector<std::string>{UNTRUNC_W, f.ref, t.path}
                                    : std::vector<std::string>{UNTRUNC_W, t.path, f.broken},
                           kTimeout);
            const std::string role = asBroken ? "broken file " : "reference file ";
            c.equal(r.status, asBroken ? t.statusAsBroken : 2, what + ": exit status");
            c.expect(r.output.find(role + t.path) != std::string::npos &&
                         r.output.find(t.reason) != std::string::npos,
                     what + ": the reason says what it is, got: " + r.output);
            c.equal(leftovers(f), std::string(), what + ": nothing written");
            c.expect(!fs::exists(t.path + "_untrunc.mp4"), what + ": no result");
        }
    }
}

struct LinkCase {
    const char* name;
    bool keepTmp;
    bool resultTaken; // a folder has the result's name: the result cannot take it
    int status;
};

// A link at "<result>.tmp" is never followed; --keeptmp replaces it with what was written.
void linkAtTmp(Checks& c, const Files& f) {
    const LinkCase cases[] = {
        {"plain run", false, false, 0},
        {"result name taken", false, true, 5},
        {"result name taken, --keeptmp", true, true, 5},
    };
    const std::string tmp = f.result + ".tmp", victim = f.dir + "/victim";
    for (const auto& t : cases) {
        std::ofstream(victim) << "not to be written";
        fs::create_symlink(victim, tmp);
        if (t.resultTaken) {
            fs::create_directory(f.result);
        }
        std::vector<std::string> argv{UNTRUNC_W, f.ref, f.broken};
        if (t.keepTmp) {
            argv.insert(argv.begin() + 1, "--keeptmp");
        }
        const RunResult r = runProgram(argv, kTimeout);
        c.equal(r.status, t.status, std::string(t.name) + ": exit status\n" + r.output);
        c.expect(readFile(victim) == "not to be written", t.name + std::string(": victim"));
        c.expect(fs::is_symlink(tmp) != t.keepTmp, t.name + std::string(": .tmp replaced or kept"));
        c.expect(!t.keepTmp || readFile(tmp) == f.repaired, t.name + std::string(": kept whole"));
        c.expect(t.resultTaken || readFile(f.result) == f.repaired,
                 t.name + std::string(": result"));
        c.equal(leftovers(f, {"broken.mp4_untrunc.mp4", "broken.mp4_untrunc.mp4.tmp"}),
                std::string(), t.name + std::string(": no other file left"));
        fs::remove(tmp);
        fs::remove_all(f.result);
    }
}

// Each run publishes a whole result, the last one winning; the broken file stays as it was.
// Runs overlap only by chance, so there are a few rounds of them.
void parallelRuns(Checks& c, const Files& f) {
    for (int round = 0; round < 4; ++round) {
        std::vector<Running> runs;
        for (int i = 0; i < 4; ++i) {
            runs.push_back(startProgram({UNTRUNC_W, f.ref, f.broken}));
        }
        for (const auto& run : runs) {
            const RunResult r = finishProgram(run, kTimeout);
            c.equal(r.status, 0, "parallel run: exit status\n" + r.output);
        }
        c.expect(readFile(f.result) == f.repaired, "parallel runs: the result is a whole one");
        c.equal(leftovers(f, {"broken.mp4_untrunc.mp4"}), std::string(), "parallel: leftovers");
        fs::remove(f.result);
    }
    c.expect(readFile(f.broken) == f.brokenBytes, "parallel runs: broken file unchanged");
}

// The process holds a file of the folder open that is no input: the result being written.
bool writing(pid_t pid, const Files& f) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(e.path(), ec).string();
        if (!ec && target.rfind(f.dir + "/", 0) == 0 && target != f.ref && target != f.broken) {
            return true;
        }
    }
    return false;
}

bool ended(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
           info.si_pid != 0;
}

// A signal while the result is written leaves neither a temporary file nor half a result.
void signals(Checks& c, const Files& f) {
    std::vector<int> sigs = {SIGTERM, SIGINT, SIGHUP, SIGPIPE};
    const int unnamed = open(f.dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (unnamed >= 0) {
        sigs.push_back(SIGKILL); // nothing of a run has a name before it is whole
        close(unnamed);
    }
    for (const int sig : sigs) {
        const std::string what = std::string("signal ") + strsignal(sig);
        bool landed = false;
        for (int attempt = 0; attempt < 20 && !landed; ++attempt) {
            const Running run = startProgram({UNTRUNC_W, f.ref, f.broken});
            while (run.pid > 0 && !writing(run.pid, f) && !ended(run.pid)) {
            }
            kill(run.pid, sig);
            const RunResult r = finishProgram(run, kTimeout);
            landed = r.signal == sig;
            c.expect(landed || r.status == 0, what + ": ended by it or done\n" + r.output);
            c.expect(!fs::exists(f.result) || readFile(f.result) == f.repaired,
                     what + ": no result or a whole one");
            c.equal(leftovers(f, {"broken.mp4_untrunc.mp4"}), std::string(), what + ": leftovers");
            fs::remove(f.result);
        }
        c.expect(landed, what + ": arrived while the result was written");
    }
}

} // namespace

int main() {
    Checks c;
    Files f;
    c.expect(makeFiles(f), "test files made");
    specialInputs(c, f);
    linkAtTmp(c, f);
    parallelRuns(c, f);
    signals(c, f);
    fs::remove_all(f.dir);
    return c.finish();
}
