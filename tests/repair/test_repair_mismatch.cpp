// A reference that does not fit (another size and profile, another codec, no recording): never
// a whole repair; recognised media that does not decode with the reference's description exits
// 7 naming both, and writes nothing. A recording of the same settings is repaired whole.
#include "Check.h"
#include "MediaFixture.h"
#include "Process.h"

#include <filesystem>
#include <fstream>
#include <random>
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
    {"mjpeg", "mov", {"-c:v", "mjpeg", "-q:v", "5"}, "640x360"},
    {"hevc",
     "mp4",
     {"-c:v", "libx265", "-tag:v", "hvc1", "-x265-params", "log-level=none"},
     "640x360"},
};

enum class Want {
    Whole,    // 0 and a result
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
    {"avc-base-360", "avc-high-720", Want::Mismatch, {"1280x720", "High"}},
    {"avc-base-360-inband", "avc-high-720", Want::Mismatch, {"640x360", "1280x720"}},
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
