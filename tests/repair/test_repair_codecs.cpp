// The less common codec families on their own, each against a reference track of its kind:
// samples made by ffmpeg, or here where ffmpeg writes no such form, laid end to end, come back
// one by one with their exact sizes and sync flags; a damaged sample is not taken, and one cut
// by the end of the data is said to be cut. Whole streams are left to the camera table.
#include "Check.h"
#include "CodecStreams.h"
#include "MediaFixture.h"
#include "codec/Codec.h"
#include "codec/MediaView.h"
#include "walk/ProbeCache.h"

#include <functional>
#include <optional>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using repair::Sureness;

enum class Ending { Whole, Damaged, Cut };

struct Case {
    const char* name;
    std::function<CodecStream(const std::string& dir)> make;
    const char* family;
    Ending ending = Ending::Whole;
    // Damaged: which sample, how, and how many samples come back before the walk stops.
    std::size_t damagedSample = 0;
    std::function<void(Bytes&)> damage = nullptr;
    std::size_t kept = 0;
};

// Overwrites bytes of a sample from `at` on.
std::function<void(Bytes&)> put(std::size_t at, Bytes with) {
    return [at, with](Bytes& b) {
        std::copy(with.begin(), with.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    };
}

const std::vector<std::string> kDv50 = {"-pix_fmt", "yuv422p", "-c:v", "dvvideo"};
const char* const kSmall = "testsrc=size=64x48:rate=25";
const char* const kNtsc = "testsrc=size=720x480:rate=30000/1001";

using Make = std::function<CodecStream(const std::string& dir)>;
Make video(const char* code, const char* source, std::vector<std::string> args) {
    return [=](const std::string& d) { return ffmpegVideo(d, code, source, args); };
}
Make sound(const char* code, std::vector<std::string> args) {
    return [=](const std::string& d) { return ffmpegSound(d, code, args); };
}

const Case kCases[] = {
    {"ProRes 422 HQ, interlaced",
     video("apch", kSmall, {"-c:v", "prores_ks", "-profile:v", "3", "-flags", "+ildct"}), "ProRes"},
    {"ProRes, a picture's size wrong",
     video("apcn", kSmall, {"-c:v", "prores_ks", "-profile:v", "2"}), "ProRes", Ending::Damaged, 3,
     put(8 + 148 + 1, {0x7F}), 3},
    {"ProRes, cut", video("apco", kSmall, {"-c:v", "prores_ks", "-profile:v", "0"}), "ProRes",
     Ending::Cut},
    {"DVCPRO50 NTSC, two DIF channels", video("dv5n", kNtsc, kDv50), "DV"},
    {"DV, a DIF sequence out of place", video("dv5n", kNtsc, kDv50), "DV", Ending::Damaged, 2,
     put(13 * 12000 + 1, {0x47}), 2},
    {"DV, cut", video("dvc ", kNtsc, {"-pix_fmt", "yuv411p", "-c:v", "dvvideo"}), "DV",
     Ending::Cut},
    {"Motion JPEG A, two padded fields with mjpg headers",
     [](const std::string& d) { return jpegFields(d, "mjpa", true, 24); }, "Motion JPEG"},
    {"Avid JPEG, two fields without headers",
     [](const std::string& d) { return jpegFields(d, "AVDJ", false, 0); }, "Motion JPEG"},
    {"JPEG, two fields padded, no headers",
     [](const std::string& d) { return jpegFields(d, "jpeg", false, 16); }, "Motion JPEG"},
    {"Motion JPEG A, a second frame header in the entropy-coded data",
     [](const std::string& d) { return jpegFields(d, "mjpa", true, 0); }, "Motion JPEG",
     Ending::Damaged, 2, put(700, {0xFF, 0xC0, 0x00, 0x11, 0x08}), 2},
    {"Motion JPEG B, two fields", [](const std::string&) { return mjpegB(); }, "Motion JPEG"},
    {"AC-3, a frame's CRC wrong", sound("ac-3", {"-c:a", "ac3"}), "AC-3", Ending::Damaged, 4,
     put(100, {0x5A}), 4},
    {"AC-3, cut", sound("ac-3", {"-c:a", "ac3"}), "AC-3", Ending::Cut},
    {"E-AC-3, three blocks a frame", [](const std::string&) { return eac3Frames(3, false); },
     "AC-3"},
    {"E-AC-3, one block a frame and a dependent substream",
     [](const std::string&) { return eac3Frames(1, true); }, "AC-3"},
    {"ALAC, cut", sound("alac", {"-c:a", "alac"}), "ALAC", Ending::Cut},
    {"MPEG-4 Part 2 with VOPs that are not coded",
     [](const std::string& d) { return mpeg4NotCoded(d); }, "MPEG video"},
    {"MPEG-2 with B-frames, cut",
     video("mp4v", kSmall, {"-c:v", "mpeg2video", "-g", "6", "-bf", "2"}), "MPEG video",
     Ending::Cut},
    // Without the next picture's start code the picture before it has no end.
    {"MPEG-2, a picture start code lost",
     video("m2v1", kSmall, {"-c:v", "mpeg2video", "-g", "6", "-bf", "0"}), "MPEG video",
     Ending::Damaged, 3, put(2, {0xFE}), 2},
};

struct Found {
    std::vector<std::uint64_t> sizes;
    std::vector<bool> sync;
    std::optional<repair::SampleGuess> last; // the guess that ended the walk
};

// Takes samples from the start for as long as the codec recognises them.
Found walk(repair::Codec& codec, const Bytes& data, bool cut) {
    repair::MemorySource src(data.data(), data.size());
    repair::MediaView view(src, 0, data.size(), cut);
    repair::ProbeCache probes(1);
    Found f;
    std::uint64_t pos = 0;
    while (pos < data.size()) {
        const repair::SampleGuess g = probes.ask(0, codec, view, pos);
        if (g.sure == Sureness::No || g.cut || g.size == 0) {
            f.last = g;
            break;
        }
        f.sync.push_back(codec.take(view, pos, g.size).sync);
        probes.taken(0, pos);
        f.sizes.push_back(g.size);
        pos += g.size;
    }
    return f;
}

void run(Checks& c, const Case& k, const std::string& dir) {
    CodecStream s;
    try {
        s = k.make(dir);
    } catch (const std::exception& e) {
        c.expect(false, std::string(k.name) + ": samples made: " + e.what());
        return;
    }
    const repair::CodecFamily* family = repair::familyFor(s.track);
    c.expect(family && std::string(family->name) == k.family,
             std::string(k.name) + ": handled by " + k.family);
    if (!family || s.samples.size() < 3) {
        c.expect(false, std::string(k.name) + ": at least three samples");
        return;
    }
    repair::MemorySource reference(s.reference.data(), s.reference.size());
    const auto codec = family->make({s.track, reference});
    Bytes data;
    std::vector<std::uint64_t> want;
    for (std::size_t i = 0; i < s.samples.size(); ++i) {
        Bytes sample = s.samples[i];
        if (k.ending == Ending::Damaged && i == k.damagedSample) {
            k.damage(sample);
        }
        data.insert(data.end(), sample.begin(), sample.end());
        if (k.ending != Ending::Damaged || i < k.kept) {
            want.push_back(sample.size());
        }
    }
    if (k.ending == Ending::Cut) {
        data.resize(data.size() - s.samples.back().size() / 2);
        want.pop_back();
    }
    const Found f = walk(*codec, data, k.ending == Ending::Cut);
    c.expect(f.sizes == want, std::string(k.name) + ": " + std::to_string(f.sizes.size()) +
                                  " samples of their exact sizes, of " +
                                  std::to_string(want.size()));
    std::vector<bool> sync = s.sync;
    sync.resize(f.sizes.size(), true);
    c.expect(f.sync == sync, std::string(k.name) + ": sync samples");
    const bool cutSaid = f.last && f.last->cut && f.last->sure != Sureness::No;
    c.equal(cutSaid, k.ending == Ending::Cut, std::string(k.name) + ": the last sample cut");
}

} // namespace

int main() {
    av_log_set_level(AV_LOG_QUIET);
    return inTempDir("repair-codecs", [](Checks& c, const std::string& dir) {
        for (const auto& k : kCases) {
            run(c, k, dir);
        }
    });
}
