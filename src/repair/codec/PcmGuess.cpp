// Raw PCM says nothing of itself: its frame size, channels and rate come from the run sizes
// against the video time they span (every run whole frames, the bytes per second a usual
// rate), and its byte order from which reading gives the smoother signal.
#include "box/Endian.h"
#include "codec/SoundGuess.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace repair {
namespace {

struct PcmFormat {
    int channels;
    int bytes;
};

// Likeliest first: where two fit the same bytes per second, the first is taken; the rates of
// cameras before the others (stereo at 22.05 kHz is mono at 44.1 kHz).
constexpr PcmFormat kFormats[] = {{2, 2}, {1, 2}, {2, 3}, {1, 3}, {6, 2}, {6, 3}};
constexpr double kCameraRates[] = {48000, 44100, 32000, 96000};
constexpr double kOtherRates[] = {88200, 22050, 16000, 11025, 8000};
constexpr std::size_t kSmoothBytes = 256u << 10;

// The time at the end of every run, were the runs PCM frames of `frame` bytes at `rate`.
std::vector<double> soundEnds(const SoundRuns& runs, std::size_t frame, double rate) {
    std::vector<double> ends;
    std::uint64_t bytes = 0;
    for (const auto& run : runs) {
        bytes += run.size();
        ends.push_back(static_cast<double>(bytes / frame) / rate);
    }
    return ends;
}

bool wholeFrames(const SoundRuns& runs, std::size_t frame) {
    return std::all_of(runs.begin(), runs.end(),
                       [frame](const auto& run) { return run.size() % frame == 0; });
}

std::int32_t sampleAt(const std::uint8_t* p, int bytes, bool bigEndian) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = (v << 8) | p[bigEndian ? i : bytes - 1 - i];
    }
    const int shift = 32 - 8 * bytes;
    return static_cast<std::int32_t>(v << shift) >> shift;
}

// How far each sample lies from the one before it on its channel, against how far from
// silence: sound recorded by a microphone moves little from sample to sample (well under
// 1), noise and compressed bytes read as samples as much as they lie from 0 (about 1.3).
double roughness(const SoundRuns& runs, const PcmFormat& f, bool bigEndian) {
    double sum = 0, level = 0;
    std::size_t seen = 0;
    const auto frame = static_cast<std::size_t>(f.channels * f.bytes);
    for (const auto& run : runs) {
        for (std::size_t at = frame; at + frame <= run.size() && seen < kSmoothBytes;
             at += static_cast<std::size_t>(f.bytes), seen += static_cast<std::size_t>(f.bytes)) {
            const double v = sampleAt(run.data() + at, f.bytes, bigEndian);
            sum += std::abs(v - sampleAt(run.data() + at - frame, f.bytes, bigEndian));
            level += std::abs(v);
        }
    }
    return level > 0 ? sum / level : 0;
}

std::optional<SoundGuess> describe(const SoundRuns& runs, const PcmFormat& f, double rate) {
    constexpr double kMostRough = 0.8;
    SoundGuess g;
    const double bigRough = roughness(runs, f, true), littleRough = roughness(runs, f, false);
    const bool big = bigRough <= littleRough;
    if (std::min(bigRough, littleRough) >= kMostRough) {
        return std::nullopt; // no sound a microphone recorded, in either byte order
    }
    g.frameBytes = static_cast<std::uint32_t>(f.channels * f.bytes);
    for (const auto& run : runs) {
        g.samples.push_back(static_cast<std::uint32_t>(run.size() / g.frameBytes));
    }
    g.info.channels = f.channels;
    g.info.bitsPerSample = 8 * f.bytes;
    g.info.sampleRate = rate;
    if (f.bytes == 2 && rate <= 0xffff) {
        g.codec = fourcc(big ? "twos" : "sowt");
    } else {
        // 24-bit, or a rate past a 16.16 field: a version 2 description, whose flags carry
        // the byte order.
        g.codec = fourcc("lpcm");
        g.info.version = 2;
        g.info.bytesPerFrame = g.frameBytes;
        g.info.framesPerPacket = 1;
        g.info.formatFlags = 0x4 | 0x8 | (big ? 0x2 : 0); // signed, packed, big-endian
    }
    g.timescale = static_cast<std::uint32_t>(rate);
    g.words = "LPCM " + spokenRate(rate) + " " + std::to_string(f.channels) + " ch " +
              std::to_string(8 * f.bytes) + "-bit " + (big ? "big" : "little") + "-endian";
    return g;
}

// The likeliest format and rate (those of cameras first) under which the sound keeps in
// time with the video, give or take a run and a video chunk. A short recording in long
// chunks tells rates apart only that roughly: the likelier is taken.
std::optional<SoundGuess> wholeRuns(const SoundRuns& runs, const VideoSpan& video) {
    for (const std::span<const double> rates :
         {std::span<const double>(kCameraRates), std::span<const double>(kOtherRates)}) {
        for (const auto& f : kFormats) {
            const auto frame = static_cast<std::size_t>(f.channels * f.bytes);
            for (const double rate : wholeFrames(runs, frame) ? rates : std::span<const double>{}) {
                if (fittingFrameRate(video, soundEnds(runs, frame, rate)) > 0) {
                    return describe(runs, f, rate); // the likeliest fit, or none
                }
            }
        }
    }
    return std::nullopt;
}

constexpr std::size_t kMinRuns = 3;

// Every run less `tail` bytes at its end (another track's chunk) as the sound.
std::optional<SoundGuess> lessTails(const SoundRuns& runs, const VideoSpan& video,
                                    std::size_t tail) {
    SoundRuns sound;
    for (const auto& run : runs) {
        if (run.size() < tail) {
            return std::nullopt;
        }
        sound.push_back(run.first(run.size() - tail));
    }
    auto g = wholeRuns(sound, video);
    if (g) {
        for (const auto& s : sound) {
            g->bytes.push_back(s.size());
        }
    }
    return g;
}

// Another track's chunk of one size ahead of the first video chunk, and after the sound in
// every run after it (a layout of metadata, video, sound): the runs less that size.
std::optional<SoundGuess> runsBeforeTails(const SoundRuns& runs, const VideoSpan& video) {
    if (runs.size() < kMinRuns || video.pictures.empty() || video.pictures[0].first > 0) {
        return std::nullopt;
    }
    return lessTails(runs, video, runs[0].size());
}

// The size of another track's chunk after the sound in every run, known by the bytes its
// chunks open with: the longest stretch at the end of every run whose first bytes are alike
// in all of them, and not all zeros (silence is alike too); 0 when there is none.
std::size_t sharedTail(const SoundRuns& runs) {
    constexpr std::size_t kKey = 8;
    std::size_t shortest = SIZE_MAX;
    for (const auto& run : runs) {
        shortest = std::min(shortest, run.size());
    }
    for (std::size_t tail = shortest; tail >= kKey; --tail) {
        const auto key = runs[0].subspan(runs[0].size() - tail, kKey);
        const auto alike = [&](std::span<const std::uint8_t> run) {
            return std::equal(key.begin(), key.end(),
                              run.end() - static_cast<std::ptrdiff_t>(tail));
        };
        if (std::any_of(key.begin(), key.end(), [](std::uint8_t b) { return b != 0; }) &&
            std::all_of(runs.begin(), runs.end(), alike)) {
            return tail;
        }
    }
    return 0;
}

} // namespace

std::optional<SoundGuess> guessLpcm(const SoundRuns& runs, const VideoSpan& video) {
    auto g = wholeRuns(runs, video);
    g = g ? g : runsBeforeTails(runs, video);
    if (g || runs.size() < kMinRuns) {
        return g;
    }
    const std::size_t tail = sharedTail(runs);
    return tail > 0 ? lessTails(runs, video, tail) : std::nullopt;
}

} // namespace repair
