// Recordings cut off before their moov was written, given alone: the video's parameter sets
// travel in its stream, or are inferred from its pictures, so the repair needs no
// reference. Recorded by ffmpeg (its own interleave) and GStreamer's qtmux (its own
// chunking), then cut inside the media; one also damaged. Every packet complete before the
// cut must come back bit-exact and on time, as ffprobe reads them from the whole recording,
// and the result must decode cleanly to the original's pictures.
#include "MediaFixture.h"
#include "Process.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

struct AloneCase {
    const char* name;
    const char* ext;
    const char* video; // ffmpeg encoder options, or a GStreamer pipeline's video part
    const char* sound; // ffmpeg sound options, or GStreamer caps
    bool gstreamer;
    bool damaged;     // zeros over a stretch in the middle of the media
    int status;       // the tool's exit status
    const char* says; // in the output (the summary's first line, or the reason)
    double minShare;  // of each track's packets back; < 0: no result to compare
    bool soundBack = true;
    const char* option = nullptr; // given to the tool
    bool samePictures = true;     // the result decodes to the original's pictures
};

const AloneCase kCases[] = {
    {"H.264 repeat-headers, PCM big-endian, ffmpeg mov", "mov",
     "-c:v libx264 -bf 2 -x264-params repeat-headers=1", "-c:a pcm_s16be -ac 2", false, false, 0,
     "sound LPCM 48 kHz 2 ch 16-bit big-endian, inferred", 1.0},
    {"H.264 dump_extra, PCM little-endian mono, ffmpeg mov", "mov",
     "-c:v libx264 -bsf:v dump_extra", "-c:a pcm_s16le -ac 1", false, false, 0,
     "30 fps from its timing; sound LPCM 48 kHz 1 ch 16-bit little-endian", 1.0},
    {"HEVC repeat-headers, AC-3, ffmpeg mp4", "mp4",
     "-c:v libx265 -tag:v hvc1 -x265-params repeat-headers=1:log-level=error", "-c:a ac3", false,
     false, 0, "video HEVC Main 320×240 from the parameter sets", 1.0},
    {"HEVC repeat-headers, AC-3, damaged", "mp4",
     "-c:v libx265 -tag:v hvc1 -x265-params repeat-headers=1:log-level=error", "-c:a ac3", false,
     true, 6, "sound AC-3 48 kHz 1 ch, inferred", 0.75},
    {"H.264 config-interval, PCM little-endian, GStreamer qtmux", "mov",
     "x264enc key-int-max=30 speed-preset=ultrafast ! h264parse config-interval=-1",
     "audio/x-raw,format=S16LE,rate=48000,channels=2", true, false, 0,
     "sound LPCM 48 kHz 2 ch 16-bit little-endian", 1.0},
    {"HEVC without timing in the stream, PCM little-endian, ffmpeg mov", "mov",
     "-c:v libx265 -tag:v hvc1 -x265-params repeat-headers=1:log-level=error:vui-timing-info=0",
     "-c:a pcm_s16le -ac 2", false, false, 0,
     "30 fps fitting the sound's duration; sound LPCM 48 kHz 2 ch 16-bit little-endian", 1.0},
    {"H.264 repeat-headers, AAC, ffmpeg mp4", "mp4", "-c:v libx264 -x264-params repeat-headers=1",
     "-c:a aac", false, false, 0, "sound AAC 48 kHz 1 ch, inferred", 1.0},
    // Small pictures and large AC-3 frames, a chunk of each at a time: many places in the
    // sound read as a picture, but AC-3 frames whose CRCs hold are sound.
    {"H.264 repeat-headers 160x120, AC-3 640 kb/s, ffmpeg mp4", "mp4",
     "-c:v libx264 -s 160x120 -bf 2 -x264-params repeat-headers=1", "-c:a ac3 -b:a 640k", false,
     false, 0, "sound AC-3 48 kHz 1 ch, inferred", 1.0},
    // H.264 and HEVC whose parameter sets were only in the lost index: inferred from its
    // pictures.
    // Stereo PCM: without timing in the stream, mono 16-bit reads as stereo at half the
    // rate. AAC without a frame rate: its rate and the frame rate are fitted together.
    {"H.264 baseline 320x240 -crf 23, no parameter sets", "mov",
     "-c:v libx264 -s 320x240 -profile:v baseline -crf 23", "-c:a pcm_s16be -ac 2", false, false, 0,
     "parameter sets inferred (not in the stream)", 1.0},
    // x265's presets differ in the coding tools their parameter sets turn on; 4:4:4 in
    // chroma QP offsets that decoding does not show. Without SAO, 8 and 10 bits decode alike:
    // 8 assumed, the result partial, never a whole repair of wrong pictures.
    {"HEVC without parameter sets in the stream", "mp4", "-c:v libx265 -tag:v hvc1", "-c:a aac",
     false, false, 0, "parameter sets inferred (not in the stream)", 1.0, true, "--fps=30"},
    {"HEVC ultrafast, no parameter sets", "mp4",
     "-c:v libx265 -tag:v hvc1 -preset ultrafast -x265-params log-level=error", "-c:a aac", false,
     false, 6, "x265 ultrafast's coding tools, 8-bit assumed (10-bit decodes alike)", 1.0, true,
     "--fps=30"},
    {"HEVC Main 10 ultrafast, no parameter sets", "mp4",
     "-c:v libx265 -tag:v hvc1 -preset ultrafast -pix_fmt yuv420p10le -x265-params log-level=error",
     "-c:a aac", false, false, 6, "partial repair: the bit depth could not be told (8 bits assumed",
     1.0, true, "--fps=30", false},
    {"HEVC superfast 640x360, no parameter sets", "mp4",
     "-c:v libx265 -tag:v hvc1 -s 640x360 -preset superfast -x265-params log-level=error",
     "-c:a aac", false, false, 6, "x265 superfast's coding tools, 8-bit assumed", 1.0, true,
     "--fps=30"},
    {"HEVC slower (fast motion search), no parameter sets", "mp4",
     "-c:v libx265 -tag:v hvc1 -preset slower -x265-params "
     "log-level=error:rd=2:subme=1:me=dia:rc-lookahead=10:b-adapt=0:ref=2",
     "-c:a aac", false, false, 0, "x265 slower or veryslow's coding tools", 1.0, true, "--fps=30"},
    {"HEVC Main 10, no parameter sets", "mp4",
     "-c:v libx265 -tag:v hvc1 -pix_fmt yuv420p10le -x265-params log-level=error", "-c:a aac",
     false, false, 0, "video HEVC Main 10 320×240, its parameter sets inferred", 1.0, true,
     "--fps=30"},
    {"HEVC 4:4:4 fast, no parameter sets", "mp4",
     "-c:v libx265 -tag:v hvc1 -preset fast -pix_fmt yuv444p -x265-params log-level=error",
     "-c:a aac", false, false, 0, "video HEVC Rext 320×240, its parameter sets inferred", 1.0, true,
     "--fps=30"},
    {"H.264 main 320x240 -crf 28 -bf 2, no parameter sets", "mp4",
     "-c:v libx264 -s 320x240 -profile:v main -crf 28 -bf 2", "-c:a aac", false, false, 0,
     "parameter sets inferred (not in the stream)", 1.0, true, "--fps=30"},
    {"H.264 main 320x240 60 fps -bf 2, AAC, no parameter sets, no frame rate given", "mp4",
     "-c:v libx264 -s 320x240 -r 60 -profile:v main -crf 28 -bf 2", "-c:a aac", false, false, 0,
     "60 fps fitting the sound's duration; sound AAC 48 kHz 1 ch, inferred", 1.0},
    // Without x264's settings in its first SEI, nothing tells a CAVLC stream's initial QP.
    {"H.264 baseline 320x240, no parameter sets, no SEI", "mov",
     "-c:v libx264 -s 320x240 -profile:v baseline -crf 23 -bsf:v filter_units=remove_types=6",
     "-c:a pcm_s16be -ac 2", false, false, 6,
     "partial repair: CAVLC pictures decode alike under any initial QP (initial QP ", 1.0},
    {"H.264 high 320x240 -crf 18, no parameter sets", "mov",
     "-c:v libx264 -s 320x240 -profile:v high -crf 18", "-c:a pcm_s16le -ac 2", false, false, 0,
     "parameter sets inferred (not in the stream)", 1.0},
    {"H.264 high 320x240 -crf 35 -bf 0, no parameter sets", "mov",
     "-c:v libx264 -s 320x240 -profile:v high -crf 35 -bf 0", "-c:a pcm_s16be -ac 2", false, false,
     0, "parameter sets inferred (not in the stream)", 1.0},
    {"H.264 baseline 640x360 -crf 30, no parameter sets", "mov",
     "-c:v libx264 -s 640x360 -profile:v baseline -crf 30", "-c:a pcm_s16be -ac 2", false, false, 0,
     "parameter sets inferred (not in the stream)", 1.0},
    {"H.264 main 640x360 -crf 23 -bf 0, no parameter sets", "mov",
     "-c:v libx264 -s 640x360 -profile:v main -crf 23 -bf 0", "-c:a pcm_s16be -ac 2", false, false,
     0, "parameter sets inferred (not in the stream)", 1.0},
    {"H.264 main 640x360 -crf 20 -preset ultrafast, no parameter sets", "mov",
     "-c:v libx264 -s 640x360 -profile:v main -crf 20 -preset ultrafast", "-c:a pcm_s16be -ac 2",
     false, false, 0, "parameter sets inferred (not in the stream)", 1.0},
    {"H.264 high 640x360 -crf 26 -preset veryfast, no parameter sets", "mov",
     "-c:v libx264 -s 640x360 -profile:v high -crf 26 -preset veryfast", "-c:a pcm_s16be -ac 2",
     false, false, 0, "parameter sets inferred (not in the stream)", 1.0},
    {"H.264 baseline 1280x720 -crf 30 -preset veryfast, no parameter sets", "mov",
     "-c:v libx264 -s 1280x720 -profile:v baseline -crf 30 -preset veryfast",
     "-c:a pcm_s16be -ac 2", false, false, 0, "parameter sets inferred (not in the stream)", 1.0},
    {"H.264 high 1280x720 -crf 26 -preset veryfast, no parameter sets", "mov",
     "-c:v libx264 -s 1280x720 -profile:v high -crf 26 -preset veryfast", "-c:a pcm_s16be -ac 2",
     false, false, 0, "parameter sets inferred (not in the stream)", 1.0},
};

constexpr int kFrames = 90;
constexpr double kKept = 0.8;
// A writer's priming edit is not in the media: ffmpeg's AC-3 256 samples, its AAC one frame
// (1024 samples, 21.3 ms at 48 kHz). A picture is 33 ms.
constexpr double kTimeSlack = 0.0215;

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

bool record(const AloneCase& k, const std::string& path) {
    if (k.gstreamer) {
        const std::string pipeline =
            "videotestsrc num-buffers=" + std::to_string(kFrames) +
            " ! video/x-raw,width=320,height=240,framerate=30/1 ! " + k.video +
            " ! queue ! mux. audiotestsrc samplesperbuffer=960 num-buffers=" +
            std::to_string(kFrames * 48000 / 30 / 960) + " ! " + k.sound +
            " ! queue ! mux. qtmux name=mux ! filesink location=" + path;
        auto argv = words(pipeline);
        argv.insert(argv.begin(), {"gst-launch-1.0", "-q"});
        return runProgram(argv, 120).status == 0;
    }
    std::vector<std::string> argv{"ffmpeg",   "-v",
                                  "error",    "-y",
                                  "-f",       "lavfi",
                                  "-i",       "testsrc2=s=320x240:r=30",
                                  "-f",       "lavfi",
                                  "-i",       "sine=f=440:r=48000",
                                  "-t",       std::to_string(kFrames / 30.0),
                                  "-g",       "30",
                                  "-threads", "1"};
    for (const auto& list : {words(k.video), words(k.sound)}) {
        argv.insert(argv.end(), list.begin(), list.end());
    }
    argv.push_back(path);
    return runProgram(argv, 120).status == 0;
}

struct Packet {
    int stream = -1;
    double pts = 0;
    std::uint64_t pos = 0, size = 0; // where its bytes lie in the file
    std::string hash;
};

std::vector<Packet> packets(const std::string& path) {
    const RunResult r = runProgram({"ffprobe", "-v", "error", "-show_entries",
                                    "packet=stream_index,pts_time,pos,size", "-show_data_hash",
                                    "md5", "-of", "default=nw=1", path});
    std::vector<Packet> out;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "stream_index") {
            out.push_back({std::atoi(value.c_str()), 0, 0, 0, ""});
        } else if (out.empty() || eq == std::string::npos) {
            continue;
        } else if (key == "pts_time") {
            out.back().pts = std::strtod(value.c_str(), nullptr);
        } else if (key == "pos") {
            out.back().pos = std::strtoull(value.c_str(), nullptr, 10);
        } else if (key == "size") {
            out.back().size = std::strtoull(value.c_str(), nullptr, 10);
        } else if (key == "data_hash") {
            out.back().hash = value;
        }
    }
    return out;
}

// PCM packets follow the chunking, which the media does not keep where two chunks of sound
// lie side by side: PCM is compared as decoded blocks of 1024 samples instead, those that
// end by `until` due.
std::vector<Packet> pcmBlocks(const std::string& path, double until) {
    const RunResult r = runProgram({"ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-af",
                                    "asetnsamples=n=1024:p=0", "-f", "framemd5", "-"});
    std::vector<Packet> out;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream f(line);
        std::string stream, dts, pts, duration, size, md5;
        if (line[0] != '#' && f >> stream >> dts >> pts >> duration >> size >> md5) {
            const double at = std::strtod(pts.c_str(), nullptr) / 48000;
            out.push_back({1, at, at + 1024.0 / 48000 <= until + 1e-6 ? 0 : UINT64_MAX, 0, md5});
        }
    }
    return out;
}

void soundAsBlocks(std::vector<Packet>& truth, std::uint64_t cut, std::vector<Packet>& got,
                   const std::string& original, const std::string& result) {
    double until = 1e9;
    for (const auto& p : truth) {
        if (p.stream == 1 && p.pos + p.size > cut) {
            until = std::min(until, p.pts);
        }
    }
    const auto keepVideo = [](std::vector<Packet>& v) {
        std::erase_if(v, [](const Packet& p) { return p.stream == 1; });
    };
    keepVideo(truth);
    keepVideo(got);
    const auto t = pcmBlocks(original, until), g = pcmBlocks(result, until);
    truth.insert(truth.end(), t.begin(), t.end());
    got.insert(got.end(), g.begin(), g.end());
}

// Per stream, the share of the packets wholly before `cut` that came back with their bytes
// and time.
std::map<int, double> shares(const std::vector<Packet>& truth, std::uint64_t cut,
                             const std::vector<Packet>& got) {
    std::multimap<std::string, const Packet*> byHash;
    for (const auto& p : got) {
        byHash.emplace(p.hash, &p);
    }
    std::map<int, std::pair<int, int>> counts; // back, due
    for (const auto& p : truth) {
        if (p.pos + p.size > cut) {
            continue;
        }
        const auto [from, to] = byHash.equal_range(p.hash);
        const bool back = std::any_of(from, to, [&](const auto& e) {
            return e.second->stream == p.stream && std::abs(e.second->pts - p.pts) <= kTimeSlack;
        });
        counts[p.stream].first += back;
        ++counts[p.stream].second;
    }
    std::map<int, double> out;
    for (const auto& [s, n] : counts) {
        out[s] = static_cast<double>(n.first) / n.second;
    }
    return out;
}

// Decoded pictures: parameter sets under which the pictures decode without an error may
// still give other pictures.
std::vector<std::string> pictures(const std::string& path) {
    const RunResult r =
        runProgram({"ffmpeg", "-v", "error", "-i", path, "-map", "0:v", "-f", "framemd5", "-"});
    std::vector<std::string> out;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') {
            out.push_back(line.substr(line.rfind(' ') + 1));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

void aloneCase(Checks& c, const std::string& dir, const AloneCase& k) {
    const std::string original = dir + "/original." + k.ext, broken = dir + "/cut." + k.ext;
    const std::string result = broken + "_untrunc.mp4";
    std::filesystem::remove(result);
    if (!record(k, original)) {
        c.expect(false, std::string(k.name) + ": recording made");
        return;
    }
    const auto size = std::filesystem::file_size(original);
    const auto cut = static_cast<std::uint64_t>(static_cast<double>(size) * kKept);
    std::string bytes = readFile(original).substr(0, cut);
    if (k.damaged) {
        bytes.replace(bytes.size() / 2, 16384, std::string(16384, '\0'));
    }
    c.expect(writeFile(broken, bytes), std::string(k.name) + ": cut file written");
    const RunResult r = runProgram(k.option ? std::vector<std::string>{UNTRUNC_W, k.option, broken}
                                            : std::vector<std::string>{UNTRUNC_W, broken},
                                   120);
    const std::string what = std::string(k.name) + "\n" + r.output;
    std::cout << k.name << ": " << r.output.substr(0, r.output.find('\n')) << "\n";
    c.equal(r.status, k.status, what + "exit status");
    c.expect(r.output.find(k.says) != std::string::npos, what + "says: " + k.says);
    if (k.minShare < 0) {
        return;
    }
    c.expect(r.output.rfind("no reference: ", 0) == 0, what + "first line: no reference");
    auto truth = packets(original), got = packets(result);
    if (std::string(k.sound).find("ac3") == std::string::npos) {
        soundAsBlocks(truth, cut, got, original, result);
    }
    const auto back = shares(truth, cut, got);
    for (const auto& [stream, share] : back) {
        std::cout << k.name << ": stream " << stream << " " << share * 100 << " % back\n";
        c.expect(share >= (stream == 0 || k.soundBack ? k.minShare : 0),
                 what + "stream " + std::to_string(stream) + ": " + std::to_string(share));
    }
    // Pictures after damage refer to some it took until the next keyframe.
    const RunResult play = runProgram({"ffmpeg", "-v", "error", "-i", result, "-f", "null", "-"});
    c.expect(k.damaged || (play.status == 0 && play.output.empty()),
             what + "decodes cleanly\n" + play.output);
    const auto before = pictures(original), after = pictures(result);
    c.expect(k.damaged || !k.samePictures ||
                 (!after.empty() &&
                  std::includes(before.begin(), before.end(), after.begin(), after.end())),
             what + "every picture as the original's");
}

} // namespace

int main() {
    return inTempDir("kestrel-alone", [](Checks& c, const std::string& dir) {
        for (const auto& k : kCases) {
            aloneCase(c, dir, k);
        }
    });
}
