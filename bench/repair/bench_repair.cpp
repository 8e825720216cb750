// Repairs a large broken recording and, in the same run, cats it to /dev/null and copies it
// (cp, and a copy synced to disk as untrunc-w syncs its result): prints the time ratios (goal
// <= 2 against cp) and untrunc-w's peak memory (goal: flat in the file size, < 200 MB).
//
//   bench_repair [--dir D] [--sizes-mb 256,1024] [--runs 3] [--keep]
//
// With --camera KIND (e.g. sony-avc) it instead repairs a recording laid out the way that
// camera writes it, of --camera-mb MB (default 4400), against cp (goal <= 1.3, RSS <= 256 MB):
//
//   bench_repair --camera sony-avc [--camera-mb 4400] [--dir D] [--runs 1] [--keep]
//
// With --noise-mb N it repairs N MB of random bytes that match nothing, against the clip
// reference, and prints the MB/s of the scan (goal >= 200, exit not 0):
//
//   bench_repair --noise-mb 100 [--dir D] [--runs 3] [--keep]
//
// With --fragmented-mb N it repairs a fragmented recording (the clip looped into moof + mdat
// pairs of one second, as ffmpeg writes with +frag_keyframe+empty_moov) of N MB cut inside
// its last fragment, alone, against cp (goal <= 1.3, RSS <= 256 MB); --keep keeps it:
//
//   bench_repair --fragmented-mb 4400 [--dir D] [--runs 3] [--keep]
//
// With --alone it repairs the clip cut before its index with no reference: its stream
// carries no parameter sets, so they are inferred (goal: within 10 s, exit 0); then the same
// with HEVC clips of x265's presets and Main 10:
//
//   bench_repair --alone [--dir D]
#include "CameraCase.h"
#include "Spawn.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A camera-like clip: 720p30 H.264 at about 16 Mbit/s (testsrc2 at that rate with ultrafast)
// with 48 kHz AAC, looped to any size by stream copy.
constexpr double kClipSeconds = 20;
constexpr const char* kVideoRate = "16M";

struct Settings {
    std::string dir = (fs::temp_directory_path() / "untrunc-bench").string();
    std::vector<long> sizesMb = {256, 1024};
    int runs = 3;
    bool runsGiven = false;
    bool keep = false;
    std::string camera;
    long cameraMb = 4400;
    long noiseMb = 0;
    long fragmentedMb = 0;
    bool alone = false;
};

Settings parse(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc) {
            s.dir = argv[++i];
        } else if (a == "--sizes-mb" && i + 1 < argc) {
            s.sizesMb.clear();
            std::stringstream in(argv[++i]);
            for (std::string v; std::getline(in, v, ',');) {
                s.sizesMb.push_back(std::atol(v.c_str()));
            }
        } else if (a == "--runs" && i + 1 < argc) {
            s.runs = std::max(1, std::atoi(argv[++i]));
            s.runsGiven = true;
        } else if (a == "--keep") {
            s.keep = true;
        } else if (a == "--camera" && i + 1 < argc) {
            s.camera = argv[++i];
        } else if (a == "--noise-mb" && i + 1 < argc) {
            s.noiseMb = std::max(1L, std::atol(argv[++i]));
        } else if (a == "--fragmented-mb" && i + 1 < argc) {
            s.fragmentedMb = std::max(1L, std::atol(argv[++i]));
        } else if (a == "--alone") {
            s.alone = true;
        } else if (a == "--camera-mb" && i + 1 < argc) {
            s.cameraMb = std::max(1L, std::atol(argv[++i]));
        } else {
            std::cerr << "usage: bench_repair [--dir D] [--sizes-mb 256,1024] [--runs N] [--keep]\n"
                         "       bench_repair --camera KIND [--camera-mb N] [--dir D] [--runs N] "
                         "[--keep]\n"
                         "       bench_repair --noise-mb N [--dir D] [--runs N] [--keep]\n"
                         "       bench_repair --fragmented-mb N [--dir D] [--runs N] [--keep]\n"
                         "       bench_repair --alone [--dir D]\n";
            std::exit(2);
        }
    }
    return s;
}

bool ffmpeg(std::vector<std::string> args) {
    args.insert(args.begin(), {"ffmpeg", "-v", "error", "-y"});
    return runTimed(args, "/dev/null").status == 0;
}

bool makeClip(const std::string& path, const char* look) {
    return ffmpeg({"-f",       "lavfi",
                   "-i",       std::string("testsrc2=size=1280x720:rate=30") + look,
                   "-f",       "lavfi",
                   "-i",       "anoisesrc=a=0.2:r=48000",
                   "-t",       std::to_string(kClipSeconds),
                   "-c:v",     "libx264",
                   "-preset",  "ultrafast",
                   "-b:v",     kVideoRate,
                   "-g",       "30",
                   "-pix_fmt", "yuv420p",
                   "-c:a",     "aac",
                   "-b:a",     "128k",
                   path});
}

// Loops the clip by stream copy until the file is about the wanted size, then cuts off
// the index and the end of the last sample, as a camera losing power would.
bool makeBroken(const std::string& clip, const std::string& path, long sizeMb) {
    const double clipMb = static_cast<double>(fs::file_size(clip)) / (1 << 20);
    const int loops = std::max(0, static_cast<int>(static_cast<double>(sizeMb) / clipMb + 0.5) - 1);
    if (!ffmpeg({"-stream_loop", std::to_string(loops), "-i", clip, "-c", "copy", path})) {
        return false;
    }
    const auto full = fs::file_size(path);
    fs::resize_file(path, full - full / 200); // moov is well under 0.5 %
    return true;
}

// Where the last top-level box starts: the file's last mdat, for a fragmented recording.
std::uint64_t lastBox(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const auto size = fs::file_size(path);
    std::uint64_t at = 0, last = 0;
    for (unsigned char h[16]; at + 16 <= size && in.seekg(static_cast<std::streamoff>(at)) &&
                              in.read(reinterpret_cast<char*>(h), 16);) {
        std::uint64_t box = 0;
        for (int i = 0; i < 4; ++i) {
            box = box << 8 | h[i];
        }
        if (box == 1) { // a 64-bit size follows the type
            box = 0;
            for (int i = 8; i < 16; ++i) {
                box = box << 8 | h[i];
            }
        }
        if (box < 8) {
            break;
        }
        last = at;
        at += box;
    }
    return last;
}

// The clip looped into a fragmented recording of about the wanted size, by stream copy,
// cut in the middle of its last mdat.
bool makeFragmented(const std::string& clip, const std::string& path, long sizeMb) {
    const double clipMb = static_cast<double>(fs::file_size(clip)) / (1 << 20);
    const int loops = std::max(0, static_cast<int>(static_cast<double>(sizeMb) / clipMb + 0.5) - 1);
    if (!ffmpeg({"-stream_loop", std::to_string(loops), "-i", clip, "-c", "copy", "-movflags",
                 "+frag_keyframe+empty_moov", path})) {
        return false;
    }
    const auto full = fs::file_size(path);
    fs::resize_file(path, lastBox(path) + (full - lastBox(path)) / 2);
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Times the repair of `broken` (with the reference, or alone when ref is empty).
void measure(const Settings& s, const std::string& untrunc, const std::string& ref, long sizeMb,
             bool fragmented) {
    const std::string broken =
        s.dir + (fragmented ? "/fragmented-" : "/broken-") + std::to_string(sizeMb) + ".mp4";
    const std::string clip = s.dir + "/clip.mp4";
    if (!fs::exists(broken) &&
        !(fragmented ? makeFragmented(clip, broken, sizeMb) : makeBroken(clip, broken, sizeMb))) {
        std::cerr << "could not make " << broken << "\n";
        return;
    }
    runTimed({"cat", broken}, "/dev/null"); // same cache state for both
    std::vector<double> cat, copy, synced, repair;
    long rss = 0;
    int status = 0;
    for (int i = 0; i < s.runs; ++i) {
        cat.push_back(runTimed({"cat", broken}, "/dev/null").seconds);
        // What writing a copy of the file costs at least, for comparison.
        copy.push_back(runTimed({"cp", broken, broken + ".copy"}, "/dev/null").seconds);
        fs::remove(broken + ".copy");
        synced.push_back(syncedCopySeconds(broken, broken + ".copy"));
        runTimed({"sync"}, "/dev/null");
        const Timed r = runTimed(fragmented ? std::vector<std::string>{untrunc, broken}
                                            : std::vector<std::string>{untrunc, ref, broken},
                                 "/dev/null");
        repair.push_back(r.seconds);
        rss = std::max(rss, r.maxRssKb);
        status = std::max(status, r.status);
        fs::remove(broken + "_untrunc.mp4");
    }
    const double mb = static_cast<double>(fs::file_size(broken)) / (1 << 20);
    std::printf("%6.0f MB | cat %6.3f s | cp %6.3f s | cp+fsync %6.3f s | untrunc-w %6.3f s | "
                "vs cat %6.2f | vs cp %5.2f | vs cp+fsync %5.2f | peak RSS %5.1f MB | exit %d\n",
                mb, median(cat), median(copy), median(synced), median(repair),
                median(repair) / median(cat), median(repair) / median(copy),
                median(repair) / median(synced), static_cast<double>(rss) / 1024, status);
    if (!s.keep) {
        fs::remove(broken);
    }
}

bool writeNoise(const std::string& path, long sizeMb) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(7);
    std::vector<std::uint64_t> block(1 << 17); // 1 MB
    for (long i = 0; i < sizeMb && out; ++i) {
        std::generate(block.begin(), block.end(), random);
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * sizeof block[0]));
    }
    return static_cast<bool>(out);
}

// Bytes that match nothing are scanned through at the speed of reading them.
void measureNoise(const Settings& s, const std::string& untrunc, const std::string& ref) {
    const std::string broken = s.dir + "/noise-" + std::to_string(s.noiseMb) + ".bin";
    if (!fs::exists(broken) && !writeNoise(broken, s.noiseMb)) {
        std::cerr << "could not write " << broken << "\n";
        return;
    }
    runTimed({"cat", broken}, "/dev/null");
    std::vector<double> repair;
    int status = 0;
    for (int i = 0; i < s.runs; ++i) {
        const Timed r = runTimed({untrunc, ref, broken}, "/dev/null");
        repair.push_back(r.seconds);
        status = r.status;
        fs::remove(broken + "_untrunc.mp4");
    }
    std::printf("%6ld MB of noise | untrunc-w %6.3f s | %7.1f MB/s | exit %d\n", s.noiseMb,
                median(repair), static_cast<double>(s.noiseMb) / median(repair), status);
}

// The clip's parameter sets were only in its index: the summary's first line says how long
// inferring them took.
void measureAloneClip(const Settings& s, const std::string& untrunc, const std::string& clip,
                      const char* name) {
    const std::string broken = s.dir + "/alone.mp4", said = s.dir + "/alone.txt";
    if (!makeBroken(clip, broken, 0)) {
        std::cerr << "could not make " << broken << "\n";
        return;
    }
    const Timed r = runTimed({untrunc, "--fps", "30", broken}, said);
    std::ifstream in(said);
    std::string line;
    std::getline(in, line);
    std::printf("alone %s | untrunc-w %6.3f s | exit %d | %s\n", name, r.seconds, r.status,
                line.c_str());
    fs::remove(broken + "_untrunc.mp4");
}

// The same with HEVC as Debian's x265 writes it: 720p by default, presets whose coding
// tools differ, Main 10.
struct HevcClip {
    const char* name;
    const char* size;
    std::vector<std::string> options;
};

void measureAlone(const Settings& s, const std::string& untrunc) {
    measureAloneClip(s, untrunc, s.dir + "/clip.mp4", "H.264");
    const HevcClip clips[] = {
        {"HEVC", "1280x720", {}},
        {"HEVC ultrafast 1080p", "1920x1080", {"-preset", "ultrafast"}},
        {"HEVC superfast 1080p", "1920x1080", {"-preset", "superfast"}},
        {"HEVC Main 10 720p", "1280x720", {"-pix_fmt", "yuv420p10le"}},
    };
    int n = 0;
    for (const HevcClip& c : clips) {
        const std::string hevc = s.dir + "/clip-hevc" + std::to_string(n++) + ".mp4";
        std::vector<std::string> args = {
            "-f",     "lavfi", "-i",   std::string("testsrc2=size=") + c.size + ":rate=30",
            "-f",     "lavfi", "-i",   "anoisesrc=a=0.2:r=48000",
            "-t",     "5",     "-c:v", "libx265",
            "-tag:v", "hvc1"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"-x265-params", "log-level=none", "-c:a", "aac", hevc});
        if (!fs::exists(hevc) && !ffmpeg(args)) {
            std::cerr << "ffmpeg could not make " << hevc << "\n";
            continue;
        }
        measureAloneClip(s, untrunc, hevc, c.name);
    }
}

} // namespace

int main(int argc, char** argv) {
    const Settings s = parse(argc, argv);
    if (!s.camera.empty()) {
        CameraBench c;
        c.kind = s.camera;
        c.dir = s.dir;
        c.megabytes = static_cast<std::uint64_t>(s.cameraMb);
        c.runs = s.runsGiven ? s.runs : 1; // a run takes minutes at this size
        c.keep = s.keep;
        return runCameraBench(c);
    }
    fs::create_directories(s.dir);
    const std::string clip = s.dir + "/clip.mp4";
    const std::string ref = s.dir + "/reference.mp4";
    if ((!fs::exists(clip) && !makeClip(clip, "")) ||
        (!fs::exists(ref) && !makeClip(ref, ",hflip"))) {
        std::cerr << "ffmpeg could not make the clips\n";
        return 1;
    }
    std::printf("untrunc-w %s, median of %d runs, warm cache\n", UNTRUNC_W, s.runs);
    if (s.noiseMb > 0) {
        measureNoise(s, UNTRUNC_W, ref);
    }
    if (s.alone) {
        measureAlone(s, UNTRUNC_W);
    }
    if (s.fragmentedMb > 0) {
        measure(s, UNTRUNC_W, ref, s.fragmentedMb, true);
    }
    for (long mb :
         s.noiseMb > 0 || s.fragmentedMb > 0 || s.alone ? std::vector<long>{} : s.sizesMb) {
        measure(s, UNTRUNC_W, ref, mb, false);
    }
    if (!s.keep) {
        fs::remove_all(s.dir);
    }
    return 0;
}
