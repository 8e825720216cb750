// Indexes that list only a part: recordings by ffmpeg, qtmux and mp4mux whose index is made to
// list only the samples before a point, as a recorder that rewrites it now and then leaves it.
// Every packet must come back with its times, alone or with a reference.
#include "Check.h"
#include "MediaFixture.h"
#include "OwnIndex.h"
#include "Process.h"
#include "box/ByteSource.h"
#include "write/OutputFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>

namespace {

struct Writer {
    const char* name;
    const char* ext;
    bool gstreamer;
    const char* video; // ffmpeg encoder options, or a GStreamer encoder element
    const char* audio;
    const char* mux; // GStreamer muxer with its robust-muxing properties
};

const Writer kWriters[] = {
    {"ffmpeg mp4 H.264 AAC", "mp4", false, "libx264", "aac", nullptr},
    {"ffmpeg mov ProRes PCM-LE", "mov", false, "prores_ks", "pcm_s16le", nullptr},
    {"qtmux H.264 PCM-BE", "mov", true, "x264enc key-int-max=30 speed-preset=ultrafast ! h264parse",
     "audio/x-raw,format=S16BE,rate=48000,channels=2",
     "qtmux reserved-max-duration=60000000000 reserved-moov-update-period=1000000000"},
    {"mp4mux HEVC AAC", "mp4", true, "x265enc key-int-max=30 speed-preset=ultrafast ! h265parse",
     "audio/x-raw,rate=48000,channels=2 ! avenc_aac ! aacparse",
     "mp4mux reserved-max-duration=60000000000 reserved-moov-update-period=1000000000"},
};

// The index lists the samples before this share of the media; damage: zeros over a twentieth
// of the file, in media that it does not list.
struct StaleCase {
    const char* name;
    double listed;
    bool withReference;
    bool damaged;
};

constexpr int kFrames = 150;
const StaleCase kCases[] = {
    {"lists 20%, alone", 0.2, false, false},
    {"lists 70%, alone", 0.7, false, false},
    {"lists 40%, with a reference", 0.4, true, false},
    {"lists 40%, video after it damaged", 0.4, false, true},
};

bool record(const Writer& w, int frames, const std::string& path) {
    const std::string n = std::to_string(frames);
    if (!w.gstreamer) {
        const std::string seconds = std::to_string(frames / 30.0);
        return runProgram({"ffmpeg", "-v",    "error",     "-y",
                           "-f",     "lavfi", "-i",        "testsrc2=s=320x240:r=30",
                           "-f",     "lavfi", "-i",        "sine=f=440:r=48000",
                           "-t",     seconds, "-c:v",      w.video,
                           "-g",     "30",    "-threads",  "1",
                           "-c:a",   w.audio, "-movflags", "+faststart",
                           path})
                   .status == 0;
    }
    // Non-live sources: both runs see the same buffers and interleave them alike.
    const std::string pipeline =
        "videotestsrc num-buffers=" + n + " ! video/x-raw,width=320,height=240,framerate=30/1 ! " +
        w.video + " ! queue ! mux. audiotestsrc samplesperbuffer=960 num-buffers=" +
        std::to_string(frames * 48000 / 30 / 960) + " ! " + w.audio + " ! queue ! mux. " + w.mux +
        " name=mux ! filesink location=" + path;
    std::vector<std::string> argv{"gst-launch-1.0", "-q"};
    std::istringstream words(pipeline);
    for (std::string word; words >> word;) {
        argv.push_back(word);
    }
    return runProgram(argv, 120).status == 0;
}

// The recording with an index that lists only the samples wholly before `share` of its
// media: ftyp, that moov, then all of the media in an mdat that runs to the end of the file.
// Empty when the recording has no index to shorten.
std::string staleFile(const std::string& path, double share) {
    repair::FileSource file(path);
    auto own = repair::readOwnIndex(file);
    if (!own || own->fragmented) {
        return {};
    }
    const auto& media = own->media;
    const auto listedEnd = media.begin + static_cast<std::uint64_t>(
                                             static_cast<double>(media.end - media.begin) * share);
    for (std::size_t i = 0; i < own->tracks.size(); ++i) {
        own->tracks[i] =
            repair::readOwnTrack(file, own->ref, own->ref.tracks[i], media.begin, listedEnd);
    }
    std::vector<std::uint8_t> head = own->ref.ftyp;
    const auto moovAt = [&](std::uint64_t payload) {
        return repair::buildMoov(
            own->ref, repair::ownTracksOut(*own, static_cast<std::int64_t>(payload) -
                                                     static_cast<std::int64_t>(media.begin)));
    };
    const std::uint64_t payload = head.size() + moovAt(0).size() + 8;
    const auto moov = moovAt(payload);
    if (head.size() + moov.size() + 8 != payload) {
        return {};
    }
    std::string out(head.begin(), head.end());
    out.append(moov.begin(), moov.end());
    out.append(std::string("\0\0\0\0mdat", 8)); // size 0: up to the end of the file
    std::string rest(media.end - media.begin, '\0');
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(media.begin));
    in.read(rest.data(), static_cast<std::streamsize>(rest.size()));
    return in ? out + rest : std::string();
}

// stream, dts, pts, size and checksum of every packet; durations left out (a writer trims
// the last one of a track).
std::vector<std::string> packetList(const std::string& path) {
    const RunResult r = runProgram(
        {"ffmpeg", "-v", "error", "-i", path, "-map", "0", "-c", "copy", "-f", "framemd5", "-"});
    std::vector<std::string> out;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream f(line);
        std::string stream, dts, pts, duration, size, md5;
        if (line[0] != '#' && f >> stream >> dts >> pts >> duration >> size >> md5) {
            out.push_back(stream + dts + pts + size + md5);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

void staleCase(Checks& c, const std::string& dir, const Writer& w, const StaleCase& k,
               const std::string& original, const std::vector<std::string>& truth) {
    const std::string what = std::string(w.name) + " / " + k.name;
    const std::string broken = dir + "/broken." + w.ext;
    const std::string result = broken + "_untrunc.mp4";
    std::filesystem::remove(result);
    std::string bytes = staleFile(original, k.listed);
    c.expect(!bytes.empty(), what + ": a file whose index lists a part made");
    if (bytes.empty()) {
        return;
    }
    if (k.damaged) {
        bytes.replace(bytes.size() * 4 / 5, bytes.size() / 20, bytes.size() / 20, '\0');
    }
    c.expect(writeFile(broken, bytes), what + ": file written");
    std::vector<std::string> argv{UNTRUNC_W};
    if (k.withReference) {
        argv.push_back(original);
    }
    argv.push_back(broken);
    const RunResult r = runProgram(argv, 120);
    if (k.damaged) {
        c.equal(r.status, 6, what + ": media lost to damage is a partial repair\n" + r.output);
        return;
    }
    c.equal(r.status, 0, what + ": exit status\n" + r.output);
    c.expect(r.output.find("index: the file's own moov lists") != std::string::npos,
             what + ": the summary says the index was stale\n" + r.output);
    const auto got = packetList(result);
    std::vector<std::string> missing;
    std::set_difference(truth.begin(), truth.end(), got.begin(), got.end(),
                        std::back_inserter(missing));
    c.expect(missing.empty() && got.size() == truth.size(),
             what + ": " + std::to_string(missing.size()) + " of " + std::to_string(truth.size()) +
                 " packets missing or mistimed, " + std::to_string(got.size()) + " in the result");
    const RunResult play = runProgram({"ffmpeg", "-v", "error", "-i", result, "-f", "null", "-"});
    c.expect(play.status == 0 && play.output.empty(), what + ": plays cleanly\n" + play.output);
}

} // namespace

int main() {
    return inTempDir("kestrel-stale", [](Checks& c, const std::string& dir) {
        for (const auto& w : kWriters) {
            const std::string original = dir + "/original." + w.ext;
            const bool made = record(w, kFrames, original);
            c.expect(made, std::string(w.name) + ": recording made");
            const auto truth = made ? packetList(original) : std::vector<std::string>{};
            for (const auto& k : made ? std::span(kCases) : std::span<const StaleCase>{}) {
                staleCase(c, dir, w, k, original, truth);
            }
        }
    });
}
