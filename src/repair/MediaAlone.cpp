#include "MediaAlone.h"

#include "AloneScan.h"
#include "box/BoxWriter.h"
#include "box/RepairError.h"
#include "codec/AvcBare.h"
#include "codec/HevcBare.h"
#include "codec/ParamScan.h"
#include "codec/ParsedFacts.h"
#include "codec/SoundGuess.h"
#include "write/NewTrack.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace repair {
namespace {

// The first part of the media that teaches the layout: enough for a minute of video.
constexpr std::uint64_t kScanBytes = 32u << 20;
constexpr std::uint64_t kMaxScanFrames = 1800;
constexpr std::uint32_t kScanLargest = 1u << 20;
constexpr double kAssumedFps = 30;
// How long parameter sets are searched for when the stream carries none.
constexpr auto kInferBound = std::chrono::seconds(10);

struct FrameRate {
    std::uint32_t timescale = 0, duration = 0;
    double fps = 0;
    std::string source; // "from its timing"
};

// 30/1 as 30000/1000, 30000/1001 as it is.
FrameRate rational(std::uint32_t num, std::uint32_t den, std::string source) {
    if (den == 1 && num <= 1000000) {
        return {num * 1000, 1000, static_cast<double>(num), std::move(source)};
    }
    return {num, den, static_cast<double>(num) / den, std::move(source)};
}

// A rate as a person gives it: 29.97 as 30000/1001.
FrameRate fromFps(double fps, std::string source) {
    const double ntsc = std::round(fps * 1.001);
    if (std::abs(fps - std::round(fps)) > 0.005 && std::abs(fps * 1.001 - ntsc) < 0.005) {
        return rational(static_cast<std::uint32_t>(ntsc) * 1000, 1001, std::move(source));
    }
    if (std::abs(fps - std::round(fps)) < 0.005) {
        return rational(static_cast<std::uint32_t>(std::round(fps)), 1, std::move(source));
    }
    return rational(static_cast<std::uint32_t>(std::round(fps * 1000)), 1000, std::move(source));
}

std::vector<std::uint8_t> readWindow(const ByteSource& file, std::uint64_t begin,
                                     std::uint64_t end) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(std::min(end - begin, kScanBytes)));
    b.resize(file.read(begin, b.data(), b.size()));
    return b;
}

std::vector<std::uint8_t> defaultFtyp() {
    BoxWriter w;
    const auto box = w.open(fourcc("ftyp"));
    for (const char* brand : {"isom", "\0\0\x02\0", "isom", "iso2", "mp41"}) {
        w.raw({brand, brand + 4});
    }
    w.close(box);
    return w.bytes();
}

RefTrack videoTrack(const FoundParams& p, const VideoFacts& f) {
    RefTrack v;
    v.number = 1;
    v.id = 1;
    v.handler = fourcc("vide");
    const bool hevc = p.codec == VideoCodec::Hevc;
    v.codec = fourcc(hevc ? "hvc1" : "avc1");
    v.decoderConfig = configRecord(p, f.chromaFormat, f.bitDepth);
    v.stsd = videoStsd(v.codec, f.width, f.height, fourcc(hevc ? "hvcC" : "avcC"), v.decoderConfig);
    v.maxSampleSize = kScanLargest; // the scan believes NAL units up to eight times this
    v.timescale = 30000;
    v.sampleDuration = 1000;
    return v;
}

void placeVideo(RefTrack& v, const MediaScan& s, const FrameRate& rate) {
    v.timescale = rate.timescale;
    v.sampleDuration = rate.duration;
    v.sampleCount = s.frames;
    v.hasStss = true;
    v.syncSamples = s.syncSamples;
    v.firstSamples = s.firstSamples;
    // As a reference's own largest sample: how near the cut a sample may be cut off.
    v.maxSampleSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(s.largest, UINT32_MAX));
    for (const auto& st : s.stretches) {
        if (st.video) {
            v.chunks.push_back({st.offset, st.samples});
        }
    }
}

RefTrack soundTrack(const SoundGuess& g, const std::vector<Stretch>& runs) {
    RefTrack a;
    a.number = 2;
    a.id = 2;
    a.handler = fourcc("soun");
    a.codec = g.codec;
    a.sound = g.info;
    a.timescale = g.timescale;
    a.sampleDuration = g.sampleDuration;
    a.fixedSampleSize = g.frameBytes;
    for (std::size_t i = 0; i < runs.size() && i < g.samples.size(); ++i) {
        if (g.samples[i] > 0) {
            a.chunks.push_back({runs[i].offset, g.samples[i]});
            a.sampleCount += g.samples[i];
            a.maxSampleSize = static_cast<std::uint32_t>(std::max<std::uint64_t>(
                a.maxSampleSize, g.frameBytes ? g.frameBytes : runs[i].bytes));
        }
    }
    if (g.configType == fourcc("esds") && g.config.size() > 4) {
        a.decoderConfig.assign(g.config.begin() + 4, g.config.end()); // past version and flags
    }
    a.stsd = soundStsd(g.codec, g.info, g.configType, g.config);
    giveTrackBoxes(a, 0, 0);
    return a;
}

// Runs no sound guesser explains: a track of one opaque sample a run, walked over (its
// bytes lie between the video's chunks as the scan found them) but not written. Runs all of
// one size are samples of that size, known by the bytes they share, if any; others end where
// the track after them starts.
RefTrack opaqueTrack(const std::vector<Stretch>& runs, std::string fault, std::uint32_t number) {
    constexpr std::size_t kLearnRuns = 64;
    RefTrack t;
    t.number = number;
    t.id = number;
    t.handler = fourcc("data");
    t.codec = fourcc("data");
    t.fault = std::move(fault);
    for (const auto& r : runs) {
        t.chunks.push_back({r.offset, 1});
        if (t.firstSamples.size() < kLearnRuns) {
            t.firstSamples.push_back({r.offset, static_cast<std::uint32_t>(r.bytes)});
        }
        t.maxSampleSize =
            static_cast<std::uint32_t>(std::max<std::uint64_t>(t.maxSampleSize, r.bytes));
    }
    t.sampleCount = runs.size();
    if (runs.size() > 1 && std::all_of(runs.begin(), runs.end(), [&](const Stretch& r) {
            return r.bytes == runs[0].bytes;
        })) {
        t.fixedSampleSize = t.maxSampleSize;
    } else {
        t.opaque = true;
    }
    return t;
}

constexpr const char* kAfterSound =
    "the bytes after the sound between the video chunks (timecode or metadata) cannot be "
    "described without a reference: dropped";

// What follows the sound in each run: other tracks' chunks, one opaque sample a run.
std::vector<Stretch> afterSound(const SoundGuess& g, const std::vector<Stretch>& runs) {
    std::vector<Stretch> rest;
    for (std::size_t i = 0; i < runs.size() && i < g.bytes.size(); ++i) {
        if (g.bytes[i] < runs[i].bytes) {
            rest.push_back({runs[i].offset + g.bytes[i], runs[i].bytes - g.bytes[i], 0, false});
        }
    }
    return rest;
}

std::string millis(std::chrono::steady_clock::time_point since) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - since;
    return std::to_string(static_cast<int>(took.count() * 1000)) + " ms";
}

RepairError noneFound(const std::string& ms, const char* codec) {
    return {ExitCode::BadInput, "no index and no reference: the media carries no parameter sets "
                                "and none found in " +
                                    ms + " decode what look like " + codec +
                                    " pictures; give a reference recording from the same camera"};
}

// Nothing when no HEVC picture is found; `seen` says whether one was, `unsure` what the
// inference could not tell.
std::optional<FoundParams> inferredHevc(const std::vector<std::uint8_t>& window,
                                        std::chrono::steady_clock::time_point started,
                                        std::string& how, std::string& unsure, bool& seen) {
    const auto bare = findHevcBarePictures(window.data(), window.size());
    seen = bare && !bare->pictures.empty();
    const auto found = seen ? inferHevcBareParams(*bare, started + kInferBound) : std::nullopt;
    if (!found) {
        return std::nullopt;
    }
    how = "its parameter sets inferred (not in the stream) in " + millis(started) + ": " +
          found->what;
    unsure = found->unsure;
    return FoundParams{VideoCodec::Hevc, bare->lengthSize, {found->vps},
                       {found->sps},     {found->pps},     bare->keySlice};
}

// H.264 or HEVC parameter sets inferred from the pictures, for media that carries none;
// `how` says so, `unsure` what could not be told. Nothing when no picture of either is found.
// What looks like pictures of one may be the other's: both are tried, within one bound.
std::optional<FoundParams> inferredParams(const std::vector<std::uint8_t>& window, std::string& how,
                                          std::string& unsure) {
    const auto started = std::chrono::steady_clock::now();
    const auto bare = findBarePictures(window.data(), window.size());
    const bool avc = bare && !bare->pictures.empty();
    const auto found = avc ? inferBareParams(*bare, started + kInferBound) : std::nullopt;
    if (found) {
        how = "its parameter sets inferred (not in the stream) in " + millis(started) +
              (found->unsure.empty() ? "" : " (" + found->unsure + ")");
        // Only the pictures show a CAVLC stream's initial QP, and they decode under any.
        unsure = found->unsure.empty() ? ""
                                       : "CAVLC pictures decode alike under any initial QP (" +
                                             found->unsure + "): a reference recording tells";
        return FoundParams{VideoCodec::H264, bare->lengthSize, {},
                           {found->sps},     {found->pps},     bare->keySlice};
    }
    bool hevc = false;
    if (auto found = inferredHevc(window, started, how, unsure, hevc)) {
        return found;
    }
    if (hevc || avc) {
        // HEVC pictures often read as H.264 ones too, seldom the other way round.
        throw noneFound(millis(started), hevc ? "HEVC" : "H.264");
    }
    return std::nullopt;
}

std::string videoWords(const FoundParams& p, const VideoFacts& f, const FrameRate& rate,
                       const std::string& inferred) {
    char fps[32];
    std::snprintf(fps, sizeof fps, "%g fps", std::round(rate.fps * 1000) / 1000);
    return std::string("video ") + (p.codec == VideoCodec::Hevc ? "HEVC " : "H.264 ") +
           (f.profile.empty() ? "" : f.profile + " ") + std::to_string(f.width) + "×" +
           std::to_string(f.height) +
           (inferred.empty() ? " from the parameter sets in the stream" : ", " + inferred) + ", " +
           fps + " " + rate.source;
}

} // namespace

MediaAlone referenceFromMedia(const ByteSource& file, const MediaData& media, const Options& o) {
    const auto window = readWindow(file, media.begin, media.end);
    MediaAlone out;
    std::string inferred;
    auto params = findParamSets(window.data(), window.size());
    auto facts = params ? videoFacts(params->codec, annexB(*params)) : std::nullopt;
    if (!facts) {
        // None, or bytes that only look like some (in an SEI's text, another track's data).
        params = inferredParams(window, inferred, out.unsure);
        facts = params ? videoFacts(params->codec, annexB(*params)) : std::nullopt;
    }
    if (!facts) {
        throw RepairError(ExitCode::BadInput,
                          "no index and no reference: the media carries no parameter sets; give "
                          "a reference recording from the same camera");
    }
    RefTrack video = videoTrack(*params, *facts);
    const MediaScan scan = scanMedia(file, media.begin, media.begin + window.size(), video,
                                     params->codec, params->lengthSize, o, kMaxScanFrames);
    if (scan.frames == 0) {
        throw RepairError(ExitCode::NoMedia, "no index and no reference: no video access unit "
                                             "follows the parameter sets in the media");
    }
    // Every run between video chunks but one that reaches the end of the scan, with the
    // pictures around it.
    std::vector<Stretch> runs;
    SoundRuns bytes;
    VideoSpan span;
    std::uint64_t frames = 0;
    for (std::size_t i = 0; i + 1 < scan.stretches.size(); ++i) {
        const Stretch& s = scan.stretches[i];
        frames += s.samples;
        if (!s.video) {
            runs.push_back(s);
            bytes.emplace_back(window.data() + (s.offset - media.begin), s.bytes);
            const double before = static_cast<double>(frames);
            span.pictures.emplace_back(before, before + scan.stretches[i + 1].samples);
        }
    }
    FrameRate rate;
    if (facts->fpsNum > 0 && facts->fpsDen > 0) {
        rate = rational(static_cast<std::uint32_t>(facts->fpsNum),
                        static_cast<std::uint32_t>(facts->fpsDen), "from its timing");
    } else if (o.fps > 0) {
        rate = fromFps(o.fps, "as --fps gives it");
    }
    span.fps = rate.fps;
    const auto sound = guessSound(bytes, span);
    if (rate.fps == 0 && sound) {
        std::vector<double> ends;
        std::uint64_t samples = 0;
        for (const auto n : sound->samples) {
            samples += n;
            ends.push_back(static_cast<double>(samples) * sound->sampleDuration / sound->timescale);
        }
        if (const double fps = fittingFrameRate(span, ends)) {
            rate = fromFps(fps, "fitting the sound's duration");
        }
    }
    if (rate.fps == 0) {
        rate = fromFps(kAssumedFps, "assumed (no timing in the stream; see --fps)");
    }
    placeVideo(video, scan, rate);
    // The picture size goes into the track header too.
    giveTrackBoxes(video, facts->width, facts->height);
    out.headline = "no reference: " + videoWords(*params, *facts, rate, inferred);
    out.ref.tracks.push_back(std::move(video));
    if (sound) {
        out.ref.tracks.push_back(soundTrack(*sound, runs));
        out.headline += "; sound " + sound->words + ", inferred";
        if (const auto rest = afterSound(*sound, runs); !rest.empty()) {
            out.ref.tracks.push_back(opaqueTrack(rest, kAfterSound, 3));
            out.headline += "; " + std::string(kAfterSound);
        }
    } else if (!runs.empty()) {
        out.dropped = "the bytes between the video chunks match no sound format known without "
                      "a description: sound dropped";
        out.headline += "; " + out.dropped;
        out.ref.tracks.push_back(opaqueTrack(runs, out.dropped, 2));
    }
    out.ref.ftyp = defaultFtyp();
    out.ref.mvhd =
        newMvhd(out.ref.movieTimescale, static_cast<std::uint32_t>(out.ref.tracks.size()));
    return out;
}

} // namespace repair
