// A reference checked before use: each row damages a good ffmpeg-made reference the way a
// bad copy or a careless tool would, and says what the run must make of it. A run that
// writes a result must write one that plays without errors and lasts what the recording
// lasted, whatever the reference's moov held.
#include "Check.h"
#include "MediaFixture.h"
#include "MiniMoov.h"
#include "Process.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

const Recording kCamera = {"camera", 25, 2, 44100, 2};

std::uint32_t get32(const Bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = at; i < at + 4 && at + 4 <= b.size(); ++i) {
        v = v << 8 | static_cast<std::uint8_t>(b[i]);
    }
    return v;
}

// Where a box is, by a path such as "moov/trak/mdia/mdhd" and which trak (0: video,
// 1: sound, as ffmpeg writes them). Sample entries are looked into past their fixed fields.
struct Found {
    std::size_t at = 0, size = 0;
};
Found find(const Bytes& b, const std::string& path, int trak = 0) {
    std::size_t begin = 0, end = b.size();
    std::size_t from = 0;
    Found f;
    while (from < path.size()) {
        const std::size_t slash = std::min(path.find('/', from), path.size());
        const std::string type = path.substr(from, slash - from);
        int skip = type == "trak" ? trak : 0;
        f = {};
        for (std::size_t at = begin; at + 8 <= end && get32(b, at) >= 8;) {
            if (b.compare(at + 4, 4, type) == 0 && skip-- == 0) {
                f = {at, get32(b, at)};
                break;
            }
            at += get32(b, at);
        }
        if (f.size == 0) {
            return f;
        }
        const std::size_t fields = type == "stsd"   ? 16
                                   : type == "avc1" ? 86
                                   : type == "mp4a" ? 36
                                                    : 8;
        begin = f.at + fields;
        end = std::min(b.size(), f.at + f.size);
        from = slash + 1;
    }
    return f;
}

// A box of `size` bytes appended to the moov (the last box of an ffmpeg recording).
void appendToMoov(Bytes& b, const Bytes& box) {
    const Found moov = find(b, "moov");
    b += box;
    putBe(b, moov.at, static_cast<std::uint32_t>(moov.size + box.size()), 4);
}

Bytes header(std::uint32_t size, const char* type) {
    Bytes h(4, '\0');
    putBe(h, 0, size, 4);
    return h + type;
}

const std::string kStbl = "moov/trak/mdia/minf/stbl/";

struct Row {
    const char* name;
    std::function<void(Bytes&)> edit;
    int status;
    const char* reason; // a part of the output that says what is wrong
    bool wholeVideo;    // the video comes back as with the good reference
};

const Row kRows[] = {
    {"good reference", [](Bytes&) {}, 0, "wrote", true},
    {"moov cut inside the video's stsz",
     [](Bytes& b) { b.resize(find(b, kStbl + "stsz").at + 40); }, 2, "cut off inside its moov",
     false},
    {"stsz lists more sizes than it holds",
     [](Bytes& b) { putBe(b, find(b, kStbl + "stsz").at + 16, 10000, 4); }, 2,
     "stsz lists 10000 entries but holds", false},
    {"a chunk offset past the end of the file",
     [](Bytes& b) {
         const Found co = find(b, kStbl + "stco");
         putBe(b, co.at + co.size - 4, static_cast<std::uint32_t>(b.size() + 1000), 4);
     },
     2, "past the end of the file", false},
    {"stts counts fewer samples than stsz",
     [](Bytes& b) {
         const std::size_t at = find(b, kStbl + "stts").at + 16;
         putBe(b, at, get32(b, at) - 1, 4);
     },
     2, "sample tables disagree", false},
    {"video media timescale 0",
     [](Bytes& b) { putBe(b, find(b, "moov/trak/mdia/mdhd").at + 20, 0, 4); }, 2,
     "no usable video track: track 1 (video, avc1): its media timescale is 0", false},
    {"video sample entry runs past its stsd",
     [](Bytes& b) {
         const Found e = find(b, kStbl + "stsd/avc1");
         putBe(b, e.at, static_cast<std::uint32_t>(e.size + 64), 4);
     },
     2, "sample description (stsd) does not parse", false},
    {"sound media timescale 0",
     [](Bytes& b) { putBe(b, find(b, "moov/trak/mdia/mdhd", 1).at + 20, 0, 4); }, 6,
     "track 2 (sound, mp4a) of the reference is left out: its media timescale is 0", true},
    {"sound esds unreadable",
     [](Bytes& b) {
         const Found e = find(b, kStbl + "stsd/mp4a/esds", 1);
         b.replace(e.at + 12, e.size - 12, e.size - 12, '\xff');
     },
     6, "track 2 (sound, mp4a) of the reference is left out: its esds does not parse", true},
    {"movie timescale 0", [](Bytes& b) { putBe(b, find(b, "moov/mvhd").at + 20, 0, 4); }, 0,
     "movie timescale is 0", true},
    {"udta nested 10,000 deep",
     [](Bytes& b) {
         Bytes deep;
         for (std::uint32_t n = 10000; n > 0; --n) {
             deep += header(8 * n, "udta");
         }
         appendToMoov(b, deep);
     },
     0, "nested more than", true},
    {"5 MB udta",
     [](Bytes& b) {
         Bytes big = header(5u << 20, "udta") + header((5u << 20) - 8, "junk");
         big.resize(5u << 20);
         appendToMoov(b, big);
     },
     0, "over the 4 MB", true},
    {"unknown box in the moov",
     [](Bytes& b) {
         Bytes junk = header(4096, "junk");
         junk.resize(4096, '\x55');
         appendToMoov(b, junk);
     },
     0, "'junk' of the reference's moov is not copied", true},
    {"an hour of nothing before the video",
     [](Bytes& b) {
         const std::size_t e = find(b, "moov/trak/edts/elst").at + 16;
         putBe(b, e, 3600 * 1000, 4);
         putBe(b, e + 4, 0xFFFFFFFF, 4);
     },
     0, "edit list of the reference's track 1 is not copied", true},
};

// What the result holds: how long it shows, whether ffmpeg decodes it without a word, its moov's
// size and its tracks.
struct Result {
    double seconds = 0;
    bool clean = false;
    std::uint64_t moovBytes = 0;
    std::vector<TableTrack> tracks;
};

Result inspect(const std::string& path) {
    Result r;
    // The end of what is shown: the latest stream start plus duration, or the movie's.
    const auto probe =
        runProgram({"ffprobe", "-v", "error", "-show_entries",
                    "stream=start_time,duration:format=duration", "-of", "csv=p=0", path});
    std::istringstream lines(probe.status == 0 ? probe.output : "");
    for (std::string l; std::getline(lines, l);) {
        const auto comma = l.find(',');
        const double end = std::atof(l.c_str()) +
                           (comma == std::string::npos ? 0 : std::atof(l.c_str() + comma + 1));
        r.seconds = std::max(r.seconds, end);
    }
    const auto decode = runProgram({"ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"});
    r.clean = decode.status == 0 && decode.output.empty();
    for (const auto& box : topBoxes(path)) {
        r.moovBytes += box.type == "moov" ? box.size : 0;
    }
    std::string error;
    r.tracks = readTables(path, error).value_or(std::vector<TableTrack>{});
    return r;
}

std::size_t videoSamples(const Result& r) {
    return r.tracks.empty() || r.tracks[0].handler != "vide" ? 0 : r.tracks[0].samples.size();
}

// The rows in order, each against the same recording cut at two thirds.
void rows(Checks& c, const std::string& dir) {
    const std::string good = dir + "/ref.mp4", broken = dir + "/clip.mp4";
    const bool made = !dir.empty() && makeRecording(good, kCamera, "testsrc2", 5, 2.0) &&
                      makeRecording(dir + "/full.mp4", kCamera, "testsrc", 6, 3.0) &&
                      cutCopy(dir + "/full.mp4", broken, fs::file_size(dir + "/full.mp4") * 2 / 3);
    c.expect(made, "test files made");
    const Bytes goodBytes = made ? readFile(good) : std::string();
    std::size_t wholeVideo = 0;
    std::uint64_t goodMoov = 0;
    for (const Row& row : kRows) {
        const std::string name = row.name, ref = dir + "/bad.mp4";
        Bytes b = goodBytes;
        row.edit(b);
        fs::remove(broken + "_untrunc.mp4");
        const RunResult run =
            made && writeFile(ref, b) ? runProgram({UNTRUNC_W, ref, broken}) : RunResult{};
        c.equal(run.status, row.status, name + ": exit status\n" + run.output);
        c.expect(run.output.find(row.reason) != std::string::npos,
                 name + ": says \"" + row.reason + "\", got:\n" + run.output);
        c.expect(run.output.find("no media samples found") == std::string::npos,
                 name + ": the broken file is not blamed");
        if (row.status == 2) {
            c.expect(run.output.find("the reference " + ref) != std::string::npos,
                     name + ": the reason names the reference");
            continue;
        }
        const Result r = inspect(broken + "_untrunc.mp4");
        c.expect(r.clean, name + ": the result decodes without errors");
        c.expect(r.seconds > 0 && r.seconds < 3,
                 name + ": the result lasts " + std::to_string(r.seconds) + " s, not over 3");
        // The good reference's run comes first: nothing of a bad one's moov adds to it.
        goodMoov = goodMoov == 0 ? r.moovBytes : goodMoov;
        c.expect(r.moovBytes > 0 && r.moovBytes <= goodMoov,
                 name + ": the result's moov is " + std::to_string(r.moovBytes) + " bytes");
        c.equal(r.tracks.size(), std::size_t{row.status == 6 ? 1u : 2u},
                name + ": tracks in the result");
        wholeVideo = wholeVideo == 0 ? videoSamples(r) : wholeVideo;
        if (row.wholeVideo) {
            c.equal(videoSamples(r), wholeVideo, name + ": every picture comes back");
        }
    }
    c.expect(wholeVideo > 40, "the good reference brings back the video");
}

} // namespace

int main() {
    return inTempDir("repair-badref", rows);
}
