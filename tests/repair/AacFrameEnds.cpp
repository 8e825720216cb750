// Frame ends found by walking AAC frames, against libavcodec's decoder: on ffmpeg-encoded
// streams of several channel layouts, rates and coding tools, every frame must end where the
// encoder ended it and where the decoder says, runs of frames must come out the same, and
// frames with a bit flipped must be taken or refused alike.
#include "AacFrameEnds.h"

#include "Content.h"
#include "Process.h"
#include "codec/AacFrameFinder.h"

#include <stdexcept>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct AacCase {
    const char* name;
    std::string source; // lavfi
    std::vector<std::string> args;
    bool walked = true;        // the configuration is one the walk knows
    bool shortWindows = false; // mono with transients: some frames must use short windows
};

// Independent noise on each channel, optionally with clicks that call for short windows.
std::string noise(int channels, int rate, bool clicks) {
    static const char* const kLayouts[] = {"",    "mono", "stereo", "3.0", "4.0",
                                           "5.0", "5.1",  "",       "7.1"};
    std::string e;
    for (int c = 0; c < channels; ++c) {
        e += (c ? "|" : "") + std::string("0.4*(random(") + std::to_string(c) + ")-0.5)*(1+sin(" +
             std::to_string(c + 1) + "*t))";
        if (clicks) {
            e += "+0.9*lt(mod(t\\,0.17)\\,0.003)*sin(2*PI*3000*t)";
        }
    }
    return "aevalsrc=exprs=" + e + ":c=" + kLayouts[channels] + ":s=" + std::to_string(rate) +
           ":d=0.6";
}

const std::vector<AacCase>& cases() {
    static const std::vector<AacCase> kCases = {
        {"mono 8 kHz", noise(1, 8000, false), {"-b:a", "24k"}},
        {"stereo 44.1 kHz", noise(2, 44100, false), {"-b:a", "128k"}},
        {"stereo 48 kHz, M/S and intensity at a low rate",
         noise(2, 48000, false),
         {"-b:a", "40k", "-aac_ms", "1", "-aac_is", "1"}},
        {"mono 22.05 kHz, short windows and TNS",
         noise(1, 22050, true),
         {"-b:a", "64k", "-aac_tns", "1"},
         true,
         true},
        {"3.0, 32 kHz", noise(3, 32000, false), {"-b:a", "96k"}},
        {"4.0, 16 kHz", noise(4, 16000, false), {"-b:a", "96k"}},
        {"5.0, 24 kHz", noise(5, 24000, false), {"-b:a", "128k"}},
        {"5.1, 48 kHz", noise(6, 48000, true), {"-b:a", "256k"}},
        {"7.1, 48 kHz", noise(8, 48000, false), {"-b:a", "320k"}},
        {"stereo 96 kHz", noise(2, 96000, true), {"-b:a", "192k"}},
        {"AAC Main with prediction",
         noise(2, 48000, false),
         {"-profile:a", "aac_main", "-aac_pred", "1"}},
        {"AAC LTP",
         noise(1, 44100, true),
         {"-profile:a", "aac_ltp", "-aac_ltp", "1", "-strict", "-2"}},
        {"channels by a PCE", noise(2, 48000, false), {"-aac_pce", "1"}, false},
    };
    return kCases;
}

camlayout::ContentStream encode(const std::string& dir, const AacCase& k) {
    const std::string out = dir + "/aac-frames.mov";
    std::vector<std::string> a = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", k.source};
    a.insert(a.end(), k.args.begin(), k.args.end());
    a.insert(a.end(), {"-c:a", "aac", out});
    const RunResult r = runProgram(a);
    if (r.status != 0) {
        throw std::runtime_error("ffmpeg: " + r.output);
    }
    return camlayout::readContent(out).streams.at(0);
}

struct Stream {
    Bytes data;
    std::vector<std::size_t> starts; // of each frame, and the end
};

Stream layOut(const camlayout::ContentStream& s) {
    Stream out;
    for (const auto& p : s.packets) {
        out.starts.push_back(out.data.size());
        out.data.insert(out.data.end(), p.data.begin(), p.data.end());
    }
    out.starts.push_back(out.data.size());
    return out;
}

// The frames found from data[at] on, within a view of up to `view` bytes.
std::vector<std::uint32_t> framesFrom(repair::AacFrameFinder& f, const Bytes& data, std::size_t at,
                                      std::size_t view) {
    const std::size_t size = std::min(view, data.size() - at);
    repair::AacFrameFinder::View v;
    v.reachesEnd = at + size == data.size();
    v.endIsReal = true;
    return f.frames(
        data.data() + at, size, v, [&](std::size_t i) { return i >= size; },
        [](std::size_t) { return false; });
}

int shortFrames(const Stream& s) {
    int n = 0;
    for (std::size_t i = 0; i + 1 < s.starts.size(); ++i) {
        const std::uint8_t* f = s.data.data() + s.starts[i];
        const bool sce = s.starts[i + 1] - s.starts[i] > 2 && (f[0] >> 5) == 0;
        n += sce && ((f[2] >> 6) & 3) == 2 ? 1 : 0; // window_sequence
    }
    return n;
}

// Every frame ends where the encoder ended it, for the walk and the decoder alike; runs
// from each frame on come out the same, cut anywhere.
void checkEnds(Checks& c, const AacCase& k, const Stream& s, repair::AacFrameFinder& walk,
               repair::AacFrameFinder& decode) {
    const std::string name = std::string("AAC ") + k.name;
    for (std::size_t i = 0; i + 1 < s.starts.size(); ++i) {
        const std::uint8_t* f = s.data.data() + s.starts[i];
        const std::size_t len = s.starts[i + 1] - s.starts[i];
        c.expect(!walk.decodes(f, len - 1) && walk.decodes(f, len),
                 name + ": frame " + std::to_string(i) + " ends where it was written");
        c.expect(!decode.decodes(f, len - 1) && decode.decodes(f, len),
                 name + ": the decoder ends frame " + std::to_string(i) + " there too");
        const std::size_t view = 3 * len + i * 97 % 1500;
        const auto walked = framesFrom(walk, s.data, s.starts[i], view);
        c.expect(!walked.empty() && walked[0] == len &&
                     walked == framesFrom(decode, s.data, s.starts[i], view),
                 name + ": the run from frame " + std::to_string(i) + " found alike");
    }
}

// A bit flipped here and there in each frame: the walk takes or refuses the frame, and
// finds the same run after it, as the decoder does. Each judgment is a fresh decoder's: one
// keeps a configuration that a flipped frame's PCE set up, where the walk keeps the track's.
void checkFlips(Checks& c, const AacCase& k, const Stream& s, repair::AacFrameFinder& walk,
                const repair::AacConfig& config) {
    std::uint32_t seed = 12345;
    int differ = 0;
    int refused = 0;
    int tried = 0;
    for (std::size_t i = 0; i + 1 < s.starts.size(); ++i) {
        const std::size_t len = s.starts[i + 1] - s.starts[i];
        for (int n = 0; n < 24; ++n, ++tried) {
            seed = seed * 1664525u + 1013904223u;
            repair::AacFrameFinder decode(config, 80, false);
            Bytes d(s.data.begin() + static_cast<std::ptrdiff_t>(s.starts[i]), s.data.end());
            d[seed % (len * 8) / 8] ^= static_cast<std::uint8_t>(0x80u >> (seed % 8));
            const bool w = walk.decodes(d.data(), std::min(d.size(), 2 * len));
            refused += w ? 0 : 1;
            differ += w != decode.decodes(d.data(), std::min(d.size(), 2 * len)) ||
                              framesFrom(walk, d, 0, 4 * len) != framesFrom(decode, d, 0, 4 * len)
                          ? 1
                          : 0;
        }
    }
    c.equal(differ, 0,
            std::string("AAC ") + k.name + ": frames with a bit flipped, of " +
                std::to_string(tried) + " (" + std::to_string(refused) + " refused), judged alike");
}

// Random bytes that start like a channel element, as other tracks' bytes may.
void checkRandomBytes(Checks& c, const AacCase& k, repair::AacFrameFinder& walk,
                      const repair::AacConfig& config) {
    std::uint32_t seed = 777;
    int differ = 0;
    int taken = 0;
    const int tries = 400;
    for (int n = 0; n < tries; ++n) {
        Bytes d(64 + n * 7 % 900);
        for (auto& b : d) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
        d[0] = static_cast<std::uint8_t>((d[0] & 0x1f) | (n % 2 ? 0x20 : 0)); // SCE or CPE
        repair::AacFrameFinder decode(config, 80, false);
        const bool w = walk.decodes(d.data(), d.size());
        taken += w ? 1 : 0;
        differ += w != decode.decodes(d.data(), d.size()) ? 1 : 0;
    }
    c.equal(differ, 0,
            std::string("AAC ") + k.name + ": random bytes, of " + std::to_string(tries) + " (" +
                std::to_string(taken) + " taken), judged alike");
}

} // namespace

void checkAacFrameEnds(Checks& c, const std::string& dir) {
    for (const AacCase& k : cases()) {
        camlayout::ContentStream cs;
        try {
            cs = encode(dir, k);
        } catch (const std::exception& e) {
            c.expect(false, std::string("AAC ") + k.name + ": encoded: " + e.what());
            continue;
        }
        repair::AacConfig config;
        config.audioSpecificConfig = cs.extradata;
        repair::describeAudioSpecificConfig(config);
        c.equal(repair::aacLayout(cs.extradata).has_value(), k.walked,
                std::string("AAC ") + k.name + ": walked");
        const Stream s = layOut(cs);
        if (k.shortWindows) {
            c.expect(shortFrames(s) > 0, std::string("AAC ") + k.name + ": short windows used");
        }
        repair::AacFrameFinder walk(config, 80);
        repair::AacFrameFinder decode(config, 80, false);
        checkEnds(c, k, s, walk, decode);
        if (k.walked) {
            checkFlips(c, k, s, walk, config);
            checkRandomBytes(c, k, walk, config);
        }
    }
}
