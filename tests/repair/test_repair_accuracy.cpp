// Repairs ffmpeg-made recordings cut at several points and counts the frames that decode
// bit-exactly like the original's, up to the cut. Floor: 99 % of the complete frames.
#include "Check.h"
#include "MediaFixture.h"
#include "Process.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

namespace {

constexpr double kFloor = 0.99;
constexpr double kSeconds = 4.0;
constexpr double kReferenceSeconds = 2.5;

const Recording kRecordings[] = {
    {"gop25 noB 44.1k stereo", 25, 0, 44100, 2},
    {"gop12 B2 48k stereo", 12, 2, 48000, 2},
    {"gop50 B3 22.05k mono", 50, 3, 22050, 1},
    {"gop30 B2 32k mono", 30, 2, 32000, 1},
    {"gop25 B1 no audio", 25, 1, 0, 0},
    {"HEVC gop25 B3 48k stereo", 25, 3, 48000, 2, true},
};

enum class Cut { MidVideo, MidAudio, MdatComplete, SizeZero, AfterHeader };

struct CutCase {
    const char* name;
    Cut kind;
    double at; // fraction of the file
};

const CutCase kCuts[] = {
    {"mid-video 60%", Cut::MidVideo, 0.60},    {"mid-audio 35%", Cut::MidAudio, 0.35},
    {"mid-video 10%", Cut::MidVideo, 0.10},    {"mdat whole, no moov", Cut::MdatComplete, 0},
    {"mdat size 0, 80%", Cut::SizeZero, 0.80}, {"just after mdat header", Cut::AfterHeader, 0},
};

struct Mdat {
    std::uint64_t offset = 0;
    std::uint64_t end = 0;
};

// ffmpeg writes 32-bit box sizes for files this small.
std::optional<Mdat> findMdat(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t at = 0;
    unsigned char h[8];
    while (in.seekg(static_cast<std::streamoff>(at)) && in.read(reinterpret_cast<char*>(h), 8)) {
        const std::uint64_t size = (std::uint64_t{h[0]} << 24) | (h[1] << 16) | (h[2] << 8) | h[3];
        if (h[4] == 'm' && h[5] == 'd' && h[6] == 'a' && h[7] == 't') {
            return Mdat{at, at + size};
        }
        if (size < 8) {
            break;
        }
        at += size;
    }
    return std::nullopt;
}

// A byte in the middle of the packet of the wanted stream nearest to the given place.
std::uint64_t midPacket(const std::vector<Packet>& pkts, int stream, std::uint64_t near) {
    const Packet* best = nullptr;
    for (const auto& p : pkts) {
        const auto d = p.pos > near ? p.pos - near : near - p.pos;
        if (p.stream == stream && p.size >= 4 &&
            (!best || d < (best->pos > near ? best->pos - near : near - best->pos))) {
            best = &p;
        }
    }
    return best ? best->pos + best->size / 2 : 0;
}

std::uint64_t cutPoint(const CutCase& cut, const Mdat& mdat, const std::vector<Packet>& pkts) {
    const auto place = static_cast<std::uint64_t>(static_cast<double>(mdat.end) * cut.at);
    switch (cut.kind) {
    case Cut::MidVideo:
        return midPacket(pkts, 0, place);
    case Cut::MidAudio:
        return midPacket(pkts, 1, place);
    case Cut::MdatComplete:
        return mdat.end;
    case Cut::SizeZero:
        return place;
    case Cut::AfterHeader:
        return mdat.offset + 8 + 16;
    }
    return 0;
}

struct Tally {
    std::size_t expected = 0;
    std::size_t recovered = 0;
    std::size_t extra = 0;
};

Tally tally(const std::vector<Frame>& original, const std::vector<Frame>& repaired, int stream,
            std::uint64_t cut) {
    std::vector<std::string> want;
    std::vector<std::string> got;
    for (const auto& f : original) {
        if (f.stream == stream && f.pos + f.size <= cut) {
            want.push_back(f.md5);
        }
    }
    for (const auto& f : repaired) {
        if (f.stream == stream) {
            got.push_back(f.md5);
        }
    }
    Tally t;
    t.expected = want.size();
    t.recovered = commonInOrder(want, got);
    t.extra = got.size() - t.recovered;
    return t;
}

// Composition offsets are right when the pictures, in the order the decoder shows them,
// carry rising presentation times.
bool displayOrderRises(const std::vector<Frame>& frames) {
    long long last = -1;
    for (const auto& f : frames) {
        if (f.stream == 0) {
            if (f.pts <= last) {
                return false;
            }
            last = f.pts;
        }
    }
    return last >= 0;
}

std::string figure(const Tally& t) {
    char buf[64];
    const double pct =
        t.expected ? 100.0 * static_cast<double>(t.recovered) / static_cast<double>(t.expected)
                   : 100.0;
    std::snprintf(buf, sizeof buf, "%zu/%zu (%.1f%%)", t.recovered, t.expected, pct);
    return buf;
}

void checkFloor(Checks& c, const Tally& t, const std::string& what) {
    const auto floor =
        static_cast<std::size_t>(std::ceil(kFloor * static_cast<double>(t.expected)));
    c.expect(t.recovered >= floor, what + ": " + figure(t) + " below the floor");
    c.equal(t.extra, std::size_t{0}, what + ": frames not in the original");
}

class Run {
public:
    Run(Checks& c, std::string dir) : c_(c), dir_(std::move(dir)) {}
    void recording(const Recording& rec, int index);

private:
    void cutCase(const Recording& rec, const CutCase& cut, const std::string& original,
                 const std::string& reference, const std::string& tag);
    Checks& c_;
    std::string dir_;
    std::vector<Packet> pkts_;
    std::vector<Frame> frames_;
    Mdat mdat_;
};

void Run::recording(const Recording& rec, int index) {
    const std::string original = dir_ + "/rec" + std::to_string(index) + ".mp4";
    const std::string reference = dir_ + "/ref" + std::to_string(index) + ".mp4";
    const bool made = makeRecording(original, rec, "testsrc", 11 + index, kSeconds) &&
                      makeRecording(reference, rec, "testsrc2", 97 + index, kReferenceSeconds);
    c_.expect(made, std::string(rec.name) + ": ffmpeg made the videos");
    const auto mdat = findMdat(original);
    pkts_ = packets(original);
    frames_ = decodedFrames(original, true);
    c_.expect(mdat && !pkts_.empty() && !frames_.empty(), std::string(rec.name) + ": probed");
    if (!made || !mdat || frames_.empty()) {
        return;
    }
    mdat_ = *mdat;
    for (std::size_t k = 0; k < std::size(kCuts); ++k) {
        if (kCuts[k].kind == Cut::MidAudio && rec.audioRate == 0) {
            continue;
        }
        cutCase(rec, kCuts[k], original, reference,
                std::to_string(index) + "-" + std::to_string(k));
    }
}

void Run::cutCase(const Recording& rec, const CutCase& cut, const std::string& original,
                  const std::string& reference, const std::string& tag) {
    const std::string what = std::string(rec.name) + " / " + cut.name;
    const std::uint64_t at = cutPoint(cut, mdat_, pkts_);
    const std::string broken = dir_ + "/broken" + tag + ".mp4";
    bool ok = at > mdat_.offset && cutCopy(original, broken, at);
    if (cut.kind == Cut::SizeZero) {
        ok = ok && patchU32(broken, mdat_.offset, 0);
    }
    c_.expect(ok, what + ": broken file made");
    const RunResult r = runProgram({UNTRUNC_W, reference, broken});
    const bool noFrames = cut.kind == Cut::AfterHeader;
    c_.equal(r.status, noFrames ? 4 : 0, what + ": exit status\n" + r.output);
    if (noFrames) {
        c_.expect(!std::filesystem::exists(broken + "_untrunc.mp4"), what + ": no result file");
        std::cout << what << ": no complete frame, exit status " << r.status << "\n";
        return;
    }
    const auto repaired = decodedFrames(broken + "_untrunc.mp4", false);
    c_.expect(displayOrderRises(repaired), what + ": pictures shown in rising time order");
    const Tally video = tally(frames_, repaired, 0, at);
    checkFloor(c_, video, what + " video");
    std::cout << what << " | cut at " << at << " | video " << figure(video);
    if (rec.audioRate > 0) {
        const Tally audio = tally(frames_, repaired, 1, at);
        checkFloor(c_, audio, what + " audio");
        std::cout << " | audio " << figure(audio);
    }
    std::cout << "\n";
}

} // namespace

int main() {
    Checks c;
    const std::string dir = makeTempDir("repair-accuracy");
    c.expect(!dir.empty(), "temporary folder");
    Run run(c, dir);
    for (std::size_t i = 0; i < std::size(kRecordings); ++i) {
        run.recording(kRecordings[i], static_cast<int>(i));
    }
    if (std::getenv("KEEP_REPAIR_FILES") == nullptr) {
        std::filesystem::remove_all(dir);
    }
    return c.finish();
}
