// A reference that does not fit. Another mode of the same codec (bitrate, picture size,
// profile) is repaired with the recording's own parameter sets, carried or inferred: every
// video sample back as it was, decoding without an error. Another codec or no recording is
// never whole; recognised media that nothing fits exits 7 naming both, writing nothing.
#include "Check.h"
#include "MediaFixture.h"
#include "Process.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Clip {
    const char* name;
    const char* container; // mov or mp4
    std::vector<std::string> video;
    const char* size;
};

const Clip kClips[] = {
    {"avc-high-720",
     "mp4",
     {"-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p"},
     "1280x720"},
    {"avc-base-360", "mp4", {"-c:v", "libx264", "-profile:v", "baseline"}, "640x360"},
    // The parameter sets in every keyframe as well, as many cameras write them.
    {"avc-base-360-inband",
     "mp4",
     {"-c:v", "libx264", "-profile:v", "baseline", "-pix_fmt", "yuv420p", "-x264-params",
      "repeat-headers=1"},
     "640x360"},
    {"avc-base-360-other", "mp4", {"-c:v", "libx264", "-profile:v", "baseline"}, "640x360"},
    {"avc-high-720-crf18",
     "mp4",
     {"-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p", "-crf", "18"},
     "1280x720"},
    {"avc-high-720-rate-inband",
     "mp4",
     {"-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p", "-b:v", "800k",
      "-x264-params", "repeat-headers=1"},
     "1280x720"},
    {"mjpeg", "mov", {"-c:v", "mjpeg", "-q:v", "5"}, "640x360"},
    {"hevc",
     "mp4",
     {"-c:v", "libx265", "-tag:v", "hvc1", "-x265-params", "log-level=none"},
     "640x360"},
    {"hevc-720",
     "mp4",
     {"-c:v", "libx265", "-tag:v", "hvc1", "-x265-params", "log-level=none"},
     "1280x720"},
    {"hevc-720-inband",
     "mp4",
     {"-c:v", "libx265", "-tag:v", "hvc1", "-x265-params", "log-level=none:repeat-headers=1"},
     "1280x720"},
};

enum class Want {
    Whole,    // 0 and a result
    Exact,    // 0, the video samples as they were, a result that decodes without an error
    Mismatch, // 7, no result, the reason naming both pictures
    NotWhole, // anything but 0; a result only with 6
};

struct Case {
    const char* broken; // a clip, or "noise"
    const char* reference;
    Want want;
    const char* names[2] = {nullptr, nullptr}; // in the reason, when mismatched
};

const Case kCases[] = {
    {"avc-base-360-other", "avc-base-360", Want::Whole},
    // Another picture size and profile, another bitrate: without and with parameter sets
    // in the stream.
    {"avc-base-360", "avc-high-720", Want::Exact},
    {"avc-base-360-inband", "avc-high-720", Want::Exact},
    {"avc-high-720", "avc-base-360", Want::Exact},
    {"avc-high-720-crf18", "avc-high-720", Want::Exact},
    {"avc-high-720-rate-inband", "avc-high-720", Want::Exact},
    {"hevc-720-inband", "hevc", Want::Exact},
    // 4:4:4 (RGB input) against a 4:2:0 reference, and the other way round.
    {"hevc-720", "hevc", Want::Exact},
    {"hevc", "hevc-720", Want::Exact},
    {"mjpeg", "hevc", Want::NotWhole},
    {"hevc", "mjpeg", Want::NotWhole},
    {"noise", "avc-high-720", Want::NotWhole},
};

std::string path(const std::string& dir, const std::string& name) {
    for (const auto& c : kClips) {
        if (name == c.name) {
            return dir + "/" + name + "." + c.container;
        }
    }
    return dir + "/" + name + ".bin";
}

bool make(const std::string& dir, const Clip& c, int look) {
    std::vector<std::string> a = {
        "ffmpeg", "-v",
        "error",  "-y",
        "-f",     "lavfi",
        "-i",     std::string(look ? "testsrc2" : "mandelbrot") + "=size=" + c.size + ":rate=30",
        "-f",     "lavfi",
        "-i",     "sine=frequency=440",
        "-t",     "3"};
    a.insert(a.end(), c.video.begin(), c.video.end());
    a.insert(a.end(), {"-c:a", "aac", path(dir, c.name)});
    return runProgram(a).status == 0;
}

// The broken file: the recording cut at 80 %, its index lost with the end.
bool cut(const std::string& from, const std::string& to) {
    if (from.ends_with(".bin")) {
        std::mt19937 random(3);
        std::ofstream out(to, std::ios::binary);
        for (int i = 0; i < (4 << 20); ++i) {
            out.put(static_cast<char>(random()));
        }
        return static_cast<bool>(out);
    }
    return cutCopy(from, to, fs::file_size(from) * 4 / 5);
}

// The checksum of each video packet, in file order.
std::vector<std::string> videoPackets(const std::string& file) {
    const RunResult r = runProgram(
        {"ffmpeg", "-v", "error", "-i", file, "-map", "0:v", "-c", "copy", "-f", "framemd5", "-"});
    std::vector<std::string> out;
    std::istringstream lines(r.output);
    for (std::string line; r.status == 0 && std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') {
            out.push_back(line.substr(line.rfind(',') + 1));
        }
    }
    return out;
}

void checkExact(Checks& c, const std::string& original, const std::string& result,
                const std::string& what) {
    const auto all = videoPackets(original);
    const auto back = videoPackets(result);
    c.expect(back.size() * 10 >= all.size() * 7 && back.size() <= all.size() &&
                 std::equal(back.begin(), back.end(), all.begin()),
             what + ": " + std::to_string(back.size()) + " of " + std::to_string(all.size()) +
                 " video samples back as they were");
    const RunResult play = runProgram({"ffmpeg", "-v", "error", "-i", result, "-f", "null", "-"});
    c.expect(play.status == 0 && play.output.empty(), what + ": decodes cleanly\n" + play.output);
}

void run(Checks& c, const std::string& dir, const Case& k) {
    const std::string what = std::string(k.broken) + " against " + k.reference;
    const std::string broken = dir + "/" + k.broken + "-vs-" + k.reference + ".broken";
    const std::string result = broken + "_untrunc.mp4";
    c.expect(cut(path(dir, k.broken), broken), what + ": broken file made");
    const RunResult r = runProgram({UNTRUNC_W, path(dir, k.reference), broken});
    const bool written = fs::exists(result);
    switch (k.want) {
    case Want::Whole:
        c.equal(r.status, 0, what + ": a fitting reference repairs\n" + r.output);
        c.expect(written, what + ": result written");
        break;
    case Want::Exact:
        c.equal(r.status, 0, what + ": repaired with the recording's parameter sets\n" + r.output);
        checkExact(c, path(dir, k.broken), result, what);
        break;
    case Want::Mismatch:
        c.equal(r.status, 7, what + ": exit status\n" + r.output);
        c.expect(!written, what + ": nothing written");
        for (const char* n : k.names) {
            c.expect(r.output.find(n) != std::string::npos, what + ": reason names " + n);
        }
        break;
    case Want::NotWhole:
        c.expect(r.status != 0, what + ": not called whole\n" + r.output);
        c.expect(!written || r.status == 6, what + ": a result only as a partial repair");
        break;
    }
}

} // namespace

int main() {
    return inTempDir("kestrel-mismatch", [](Checks& c, const std::string& dir) {
        int look = 0;
        for (const auto& clip : kClips) {
            c.expect(make(dir, clip, look++ % 2), std::string(clip.name) + ": recorded");
        }
        for (const auto& k : kCases) {
            run(c, dir, k);
        }
    });
}
