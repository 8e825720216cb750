#include "CameraCase.h"

#include "Layout.h"
#include "Spawn.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sys/statvfs.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Goals: no slower than 1.3 times a plain copy of the broken file, and flat memory.
constexpr double kGoalVsCopy = 1.3;
constexpr double kGoalRssMb = 256;
// XAVC-like 1080p bit rate; the clip is looped (times running on) up to the wanted size.
constexpr const char* kVideoRate = "50M";
constexpr double kClipSeconds = 10;

std::uint64_t freeBytes(const std::string& dir) {
    struct statvfs s {};
    return statvfs(dir.c_str(), &s) == 0 ? std::uint64_t{s.f_bavail} * s.f_frsize : 0;
}

bool makeContent(const camlayout::CameraKind& kind, const camlayout::ContentLook& look,
                 const std::string& path) {
    return fs::exists(path) ||
           runTimed(camlayout::contentArguments(kind, look, path), "/dev/null").status == 0;
}

// Lays the recording out at full size, then drops the moov and a little of the mdat's end.
bool makeBroken(const camlayout::CameraKind& kind, const std::string& clip,
                const std::string& broken, std::uint64_t bytes) {
    camlayout::LayoutOptions options;
    options.minBytes = bytes;
    options.keepSamples = false;
    const auto truth = camlayout::layOut(kind, camlayout::readContent(clip), broken, options);
    const std::uint64_t mdat = truth.mdatEnd - truth.mdatData;
    fs::resize_file(broken, truth.mdatEnd - mdat / 400 - 333);
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int runCameraBench(const CameraBench& s) {
    const camlayout::CameraKind* kind = camlayout::findKind(s.kind);
    if (!kind) {
        std::cerr << "no camera kind " << s.kind << "\n";
        return 2;
    }
    fs::create_directories(s.dir);
    const std::string base = s.dir + "/" + s.kind;
    const std::string broken = base + "-" + std::to_string(s.megabytes) + "mb.broken";
    const std::uint64_t bytes = s.megabytes << 20;
    // The cut recording, untrunc-w's result and a copy: three times the size at most.
    const std::uint64_t needed = (fs::exists(broken) ? 2 : 3) * bytes + (1ull << 30);
    if (freeBytes(s.dir) < needed) {
        std::cerr << s.dir << " has " << (freeBytes(s.dir) >> 20) << " MB free; " << (needed >> 20)
                  << " MB needed\n";
        return 1;
    }
    camlayout::ContentLook big;
    big.pattern = "testsrc2";
    big.width = 1920;
    big.height = 1080;
    big.seconds = kClipSeconds;
    big.videoBitrate = kVideoRate;
    // The reference: the same camera settings (size, rate), other pictures and sound.
    camlayout::ContentLook small = big;
    small.pattern = "testsrc";
    small.seconds = 2;
    small.noiseSeed = 2;
    try {
        if (!makeContent(*kind, big, base + "-clip.mov") ||
            !makeContent(*kind, small, base + "-refclip.mov")) {
            std::cerr << "ffmpeg could not make the content\n";
            return 1;
        }
        if (!fs::exists(base + "-reference.mp4")) {
            camlayout::LayoutOptions ref;
            ref.seed = 2;
            camlayout::layOut(*kind, camlayout::readContent(base + "-refclip.mov"),
                              base + "-reference.mp4", ref);
        }
        if (!fs::exists(broken)) {
            std::printf("laying out %s (%llu MB)...\n", broken.c_str(),
                        static_cast<unsigned long long>(s.megabytes));
            std::fflush(stdout);
            makeBroken(*kind, base + "-clip.mov", broken, bytes);
        }
    } catch (const std::exception& e) {
        std::cerr << "camlayout: " << e.what() << "\n";
        fs::remove(broken);
        return 1;
    }
    runTimed({"cat", broken}, "/dev/null"); // the same cache state for both
    std::vector<double> copy;
    std::vector<double> synced;
    std::vector<double> repair;
    long rss = 0;
    int status = 0;
    for (int i = 0; i < s.runs; ++i) {
        copy.push_back(runTimed({"cp", broken, broken + ".copy"}, "/dev/null").seconds);
        fs::remove(broken + ".copy");
        synced.push_back(syncedCopySeconds(broken, broken + ".copy"));
        runTimed({"sync"}, "/dev/null");
        const Timed r = runTimed({UNTRUNC_W, base + "-reference.mp4", broken}, "/dev/null");
        repair.push_back(r.seconds);
        rss = std::max(rss, r.maxRssKb);
        status = std::max(status, r.status);
        fs::remove(broken + "_untrunc.mp4");
    }
    const double ratio = median(repair) / median(copy);
    const double rssMb = static_cast<double>(rss) / 1024;
    std::printf("%s %6.0f MB | cp %7.3f s | cp+fsync %7.3f s | untrunc-w %7.3f s | "
                "vs cp+fsync %5.2f | vs cp %5.2f (goal <= %.1f%s) | "
                "peak RSS %6.1f MB (goal <= %.0f%s) | exit %d\n",
                s.kind.c_str(), static_cast<double>(fs::file_size(broken)) / (1 << 20),
                median(copy), median(synced), median(repair), median(repair) / median(synced),
                ratio, kGoalVsCopy, ratio <= kGoalVsCopy ? ", met" : ", MISSED", rssMb, kGoalRssMb,
                rssMb <= kGoalRssMb ? ", met" : ", MISSED", status);
    if (!s.keep) {
        for (const char* made : {"-clip.mov", "-refclip.mov", "-reference.mp4"}) {
            fs::remove(base + made);
        }
        fs::remove(broken);
        std::error_code ec;
        fs::remove(s.dir, ec); // only when nothing else is in it
    }
    return 0;
}
