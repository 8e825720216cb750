// Recordings of GStreamer's qtmux and mp4mux, cut off while recording (no moov, mdat size 0),
// repaired with another recording of the same pipeline. The muxer interleaves by timestamp:
// eight pictures (267 ms) against thirteen sound buffers of 960 frames (260 ms), so the order
// of chunks drifts and now and then two sound chunks come in a row. The cuts land where that
// order matters; every packet wholly before the cut must come back bit-exact at its time.
#include "Check.h"
#include "MediaFixture.h"
#include "Process.h"
#include "box/ByteSource.h"
#include "box/Endian.h"
#include "box/Reference.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>
#include <sstream>

namespace {

struct Pipeline {
    const char* name;
    const char* ext;
    const char* video; // GStreamer encoder elements
    const char* audio;
    const char* mux;
};

const Pipeline kPipelines[] = {
    {"qtmux H.264 PCM-BE", "mov", "x264enc key-int-max=30 speed-preset=ultrafast ! h264parse",
     "audio/x-raw,format=S16BE,rate=48000,channels=2", "qtmux"},
    {"qtmux ProRes PCM-LE", "mov", "avenc_prores", "audio/x-raw,format=S16LE,rate=48000,channels=2",
     "qtmux"},
    {"mp4mux H.264 AAC", "mp4", "x264enc key-int-max=30 speed-preset=ultrafast ! h264parse",
     "audio/x-raw,rate=48000,channels=2 ! avenc_aac ! aacparse", "mp4mux"},
};

// Where the cut lands, against the last two sound chunks in a row of the whole recording:
// a share of the way into the chunk `after` the second of them (0: that one, 1: the next).
struct Cut {
    const char* name;
    int after;
    double into;
};

const Cut kCuts[] = {
    {"between two sound chunks in a row", 0, 0.0},
    {"inside the second of two sound chunks in a row", 0, 0.5},
    {"inside the video chunk after two sound chunks", 1, 0.5},
};

constexpr int kReferenceSeconds = 8;
constexpr int kSeconds = 24; // long enough for the sound to fall a chunk behind

bool record(const Pipeline& p, int seconds, const std::string& path) {
    const std::string pipeline = "videotestsrc num-buffers=" + std::to_string(seconds * 30) +
                                 " ! video/x-raw,width=320,height=240,framerate=30/1 ! " + p.video +
                                 " ! queue ! mux. audiotestsrc samplesperbuffer=960 num-buffers=" +
                                 std::to_string(seconds * 50) + " ! " + p.audio +
                                 " ! queue ! mux. " + p.mux +
                                 " name=mux ! filesink location=" + path;
    std::vector<std::string> argv{"gst-launch-1.0", "-q", "-e"};
    std::istringstream words(pipeline);
    for (std::string word; words >> word;) {
        argv.push_back(word);
    }
    return runProgram(argv, 120).status == 0;
}

// Every chunk's offset, and whether it is sound, in file order as the recording's index has it.
std::vector<std::pair<std::uint64_t, bool>> chunkOrder(const std::string& path) {
    const repair::Reference ref = repair::readReference(repair::FileSource(path));
    std::vector<std::pair<std::uint64_t, bool>> all;
    for (const auto& t : ref.tracks) {
        for (const auto& c : t.chunks) {
            all.emplace_back(c.offset, t.handler == repair::fourcc("soun"));
        }
    }
    std::sort(all.begin(), all.end());
    return all;
}

// Where the cut lands; 0 when no two sound chunks come in a row past the opening ones (the
// order did not drift).
std::uint64_t cutPoint(const std::string& path, const Cut& cut) {
    const auto all = chunkOrder(path);
    for (std::size_t second = all.size() - 1; second > 4; --second) {
        const std::size_t at = second + static_cast<std::size_t>(cut.after);
        if (all[second].second && all[second - 1].second && at + 1 < all.size()) {
            const double bytes = static_cast<double>(all[at + 1].first - all[at].first);
            return all[at].first + static_cast<std::uint64_t>(cut.into * bytes);
        }
    }
    return 0;
}

// The file as it stood on disk while recording, up to `cut`: no moov, an mdat of size 0.
bool cutRecording(const std::string& whole, std::uint64_t cut, const std::string& out) {
    std::string bytes = readFile(whole).substr(0, cut);
    for (std::uint64_t at = 0; at + 8 <= bytes.size();) {
        const auto size = static_cast<std::uint32_t>(
            (std::uint8_t(bytes[at]) << 24) | (std::uint8_t(bytes[at + 1]) << 16) |
            (std::uint8_t(bytes[at + 2]) << 8) | std::uint8_t(bytes[at + 3]));
        if (bytes.compare(at + 4, 4, "mdat") == 0) {
            putBe(bytes, at, 0, 4);
            return writeFile(out, bytes);
        }
        if (size < 8) {
            return false;
        }
        at += size;
    }
    return false;
}

// stream, pts, dts, size and checksum of every packet that ends by byte `end`.
std::vector<std::string> packets(const std::string& path, std::uint64_t end) {
    const RunResult r =
        runProgram({"ffprobe", "-v", "error", "-show_data_hash", "MD5", "-show_entries",
                    "packet=stream_index,pts,dts,size,pos,data_hash", "-of", "csv=p=0", path});
    std::vector<std::string> out;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream f(line);
        std::string stream, pts, dts, size, pos, hash;
        if (std::getline(f, stream, ',') && std::getline(f, pts, ',') &&
            std::getline(f, dts, ',') && std::getline(f, size, ',') && std::getline(f, pos, ',') &&
            std::getline(f, hash) && std::stoull(pos) + std::stoull(size) <= end) {
            out.push_back(stream + "," + pts + "," + dts + "," + size + "," + hash);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

void cutCase(Checks& c, const std::string& dir, const Pipeline& p, const Cut& k) {
    const std::string what = std::string(p.name) + " / " + k.name;
    const std::string whole = dir + "/whole." + p.ext;
    const std::string broken = dir + "/broken." + p.ext;
    const std::uint64_t cut = cutPoint(whole, k);
    c.expect(cut > 0 && cutRecording(whole, cut, broken), what + ": cut recording made");
    const auto truth = packets(whole, cut);
    const RunResult r = runProgram({UNTRUNC_W, dir + "/reference." + p.ext, broken}, 120);
    const auto got = packets(broken + "_untrunc.mp4", UINT64_MAX);
    std::vector<std::string> missing;
    std::set_difference(truth.begin(), truth.end(), got.begin(), got.end(),
                        std::back_inserter(missing));
    const double share = truth.empty() ? 0 : 1 - static_cast<double>(missing.size()) / truth.size();
    std::cout << what << ": " << 100 * share << " % on time, exit " << r.status << "\n";
    c.expect(!truth.empty() && missing.empty(), what + ": " + std::to_string(missing.size()) +
                                                    " of " + std::to_string(truth.size()) +
                                                    " packets missing or mistimed");
    c.equal(r.status, share >= 0.99 ? 0 : 6, what + ": exit status\n" + r.output);
    const RunResult play =
        runProgram({"ffmpeg", "-v", "error", "-i", broken + "_untrunc.mp4", "-f", "null", "-"});
    c.expect(play.status == 0 && play.output.empty(), what + ": plays cleanly\n" + play.output);
}

} // namespace

int main() {
    return inTempDir("kestrel-drift", [](Checks& c, const std::string& dir) {
        for (const auto& p : kPipelines) {
            const bool made = record(p, kReferenceSeconds, dir + "/reference." + p.ext) &&
                              record(p, kSeconds, dir + "/whole." + p.ext);
            c.expect(made, std::string(p.name) + ": recordings made");
            for (const auto& k : made ? std::span(kCuts) : std::span<const Cut>{}) {
                cutCase(c, dir, p, k);
            }
        }
    });
}
