// The less common codec families on their own, each against a reference track of its kind:
// samples made by ffmpeg, or here where ffmpeg writes no such form, laid end to end, come back
// one by one with their exact sizes and sync flags; a damaged sample is not taken, and one cut
// by the end of the data is said to be cut. Whole streams are left to the camera table.
//
// The AAC configuration is also guessed from a recording's sound chunks alone, and must be the
// one its own esds holds; other sound and random bytes are not taken for AAC.
#include "Check.h"
#include "CodecStreams.h"
#include "MediaFixture.h"
#include "Process.h"
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/AacGuess.h"
#include "codec/Codec.h"
#include "codec/MediaView.h"
#include "walk/ProbeCache.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <span>

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
    // Bytes after the last whole picture whose length runs past the end, in a NAL unit that
    // has a fixed size (end of stream): not a picture cut off.
    {"H.264, bytes after it that read as an end-of-stream unit cut off",
     video("avc1", kSmall, {"-c:v", "libx264", "-g", "6"}), "H.264", Ending::Damaged, 5,
     put(0, {0x00, 0x00, 0x10, 0x00, 0x0B}), 5},
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

// Long: the runs 30 times over, more than the guess looks at.
enum class Sound { Aac, AacCut, Long, Other, Random };

struct GuessCase {
    const char* codec; // ffmpeg's encoder
    int rate;
    int channels;
    Sound sound = Sound::Aac;
};

const GuessCase kGuesses[] = {
    {"aac", 22050, 1},
    {"aac", 44100, 1},
    {"aac", 48000, 1},
    {"aac", 22050, 2},
    {"aac", 44100, 2},
    {"aac", 48000, 2},
    {"aac", 22050, 6},
    {"aac", 44100, 6},
    {"aac", 48000, 6},
    {"aac", 44100, 2, Sound::AacCut},
    {"aac", 48000, 2, Sound::Long},
    {"pcm_s16le", 48000, 2, Sound::Other},
    {"ac3", 48000, 6, Sound::Other},
    {"aac", 48000, 2, Sound::Random},
};

using Runs = std::vector<std::span<const std::uint8_t>>;

// The sound track's chunks by the recording's own index, each up to the next chunk of any
// track (or the moov after the media), and the video's duration.
Runs soundRuns(const std::string& file, const repair::Reference& ref, const repair::RefTrack& sound,
               double& seconds) {
    std::vector<std::uint64_t> starts = {ref.moovOffset};
    for (const auto& t : ref.tracks) {
        for (const auto& ch : t.chunks) {
            starts.push_back(ch.offset);
        }
        if (repair::isVideoHandler(t.handler)) {
            seconds = double(t.sampleCount) * t.sampleDuration / t.timescale;
        }
    }
    std::sort(starts.begin(), starts.end());
    Runs runs;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
    for (const auto& ch : sound.chunks) {
        const auto end = *std::upper_bound(starts.begin(), starts.end(), ch.offset);
        runs.emplace_back(bytes + ch.offset, end - ch.offset);
    }
    return runs;
}

void guess(Checks& c, const GuessCase& k, const std::string& dir) {
    const std::string name = std::string(k.codec) + " " + std::to_string(k.rate) + " Hz " +
                             std::to_string(k.channels) + " ch" +
                             (k.sound == Sound::AacCut ? " cut" : "") +
                             (k.sound == Sound::Long ? " 30 times" : "") +
                             (k.sound == Sound::Random ? " as random bytes" : "");
    const std::string path = dir + "/guess" + (k.sound == Sound::Other ? ".mov" : ".mp4");
    const std::string noise = "anoisesrc=a=0.2:s=7:r=" + std::to_string(k.rate);
    const RunResult made =
        runProgram({"ffmpeg", "-v",      "error",    "-y",
                    "-f",     "lavfi",   "-i",       "testsrc=size=160x120:rate=25",
                    "-f",     "lavfi",   "-i",       noise,
                    "-t",     "10",      "-pix_fmt", "yuv420p",
                    "-c:v",   "libx264", "-preset",  "ultrafast",
                    "-c:a",   k.codec,   "-ac",      std::to_string(k.channels),
                    path});
    std::string file = readFile(path);
    repair::MemorySource src(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    const repair::Reference ref = repair::readReference(src);
    const auto sound = std::find_if(ref.tracks.begin(), ref.tracks.end(), [](const auto& t) {
        return t.handler == repair::fourcc("soun");
    });
    if (sound == ref.tracks.end()) {
        c.expect(false, name + ": recorded");
        return;
    }
    double seconds = 0;
    Runs runs = soundRuns(file, ref, *sound, seconds);
    if (k.sound == Sound::AacCut) {
        runs.back() = runs.back().first(runs.back().size() - 100);
    }
    const int times = k.sound == Sound::Long ? 30 : 1;
    const Runs once = runs;
    for (int i = 1; i < times; ++i) {
        runs.insert(runs.end(), once.begin(), once.end());
    }
    seconds *= times;
    if (k.sound == Sound::Random) {
        std::mt19937 random(7);
        std::generate(file.begin(), file.end(), [&] { return char(random()); });
    }
    const auto start = std::chrono::steady_clock::now();
    const auto g = repair::guessAacConfig(runs, seconds);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    const auto truth = repair::parseEsds(sound->decoderConfig.data(), sound->decoderConfig.size());
    const bool aac = k.sound != Sound::Other && k.sound != Sound::Random;
    c.expect(made.status == 0 && truth.has_value() == (std::string(k.codec) == "aac"),
             name + ": recorded");
    c.equal(g.has_value(), aac, name + ": taken for AAC");
    if (g && truth) {
        c.expect(g->config.objectType == truth->objectType &&
                     g->config.sampleRate == truth->sampleRate &&
                     g->config.channels == truth->channels,
                 name + ": the recording's configuration");
        // Every frame is counted, less one cut off; those not looked at, in proportion.
        const double want = double(sound->sampleCount * times) - (k.sound == Sound::AacCut);
        c.expect(std::abs(double(g->frames) - want) <= (times > 1 ? want / 100 : 0),
                 name + ": " + std::to_string(g->frames) + " frames");
    }
    const auto said = [](const auto& cfg) {
        return cfg ? std::to_string(cfg->sampleRate) + " Hz " + std::to_string(cfg->channels) +
                         " ch type " + std::to_string(cfg->objectType)
                   : std::string("none");
    };
    std::cout << name << " -> " << said(g ? &g->config : nullptr) << ", truly "
              << said(truth ? &*truth : nullptr) << " (" << took.count() << " ms)\n";
}

} // namespace

int main() {
    av_log_set_level(AV_LOG_QUIET);
    return inTempDir("repair-codecs", [](Checks& c, const std::string& dir) {
        for (const auto& k : kCases) {
            run(c, k, dir);
        }
        for (const auto& k : kGuesses) {
            guess(c, k, dir);
        }
    });
}
