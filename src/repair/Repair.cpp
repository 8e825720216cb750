#include "Repair.h"

#include "BrokenFile.h"
#include "Describe.h"
#include "MoovWriter.h"
#include "OutputFile.h"
#include "RepairError.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ostream>

extern "C" {
#include <libavutil/log.h>
}

namespace repair {
namespace {

constexpr std::uint64_t kMinMaxNal = 256u << 10;
constexpr std::uint64_t kMaxMaxNal = 64u << 20;

std::unique_ptr<FileSource> openInput(const std::string& path, const char* role) {
    auto f = std::make_unique<FileSource>(path);
    if (!f->ok()) {
        throw RepairError(ExitCode::BadInput,
                          std::string("cannot open ") + role + " file " + path + ": " +
                              (errno ? std::strerror(errno) : "not a regular file"));
    }
    return f;
}

TrackOut videoTrack(const Reference& ref, const WalkResult& walk, std::int64_t shift) {
    TrackOut t;
    t.ref = &*ref.video;
    t.id = 1;
    t.tables = buildTables(walk.samples, kVideo, shift);
    if (!ref.video->hasStss) {
        t.tables.allSync = true; // an all-intra reference: every picture is a sync sample
        t.tables.syncSamples.clear();
    }
    for (std::uint32_t units : compositionOffsets(walk.pictures)) {
        t.tables.compositionOffsets.push_back(units * ref.video->sampleDuration);
    }
    const auto& ctts = t.tables.compositionOffsets;
    t.mediaTime = !ctts.empty() ? ctts.front() : (ref.video->editMediaTime >= 0 ? 0 : -1);
    return t;
}

std::vector<TrackOut> outputTracks(const Reference& ref, const WalkResult& walk,
                                   std::int64_t shift) {
    std::vector<TrackOut> tracks{videoTrack(ref, walk, shift)};
    if (ref.audio && walk.audioCount > 0) {
        TrackOut a;
        a.ref = &*ref.audio;
        a.id = 2;
        a.tables = buildTables(walk.samples, kAudio, shift);
        a.mediaTime = ref.audio->editMediaTime;
        tracks.push_back(std::move(a));
    }
    if (walk.videoCount == 0) {
        tracks.erase(tracks.begin());
    }
    return tracks;
}

Reference usableReference(const Options& o, std::ostream& out) {
    const auto file = openInput(o.reference, "reference");
    Reference ref = readReference(*file);
    // A reference without timing still gives codec settings; assume common rates.
    if (ref.video->sampleDuration == 0) {
        ref.video->sampleDuration = std::max<std::uint32_t>(ref.video->timescale / 30, 1);
    }
    if (ref.audio && ref.audio->sampleDuration == 0) {
        ref.audio->sampleDuration = 1024;
    }
    if (o.verbose) {
        describeReference(ref, out);
    }
    return ref;
}

void repairFile(const Options& o, std::ostream& out) {
    const Reference ref = usableReference(o, out);
    const auto broken = openInput(*o.broken, "broken");
    const MediaData media = findMediaData(*broken);
    if (o.verbose) {
        out << "broken file: media data from byte " << media.begin << " to " << media.end
            << (media.cut ? " (cut off)" : "") << "\n";
    }
    WalkSetup setup = makeWalkSetup(ref, o);
    setup.endIsCut = media.cut;
    MediaWalker walker(*broken, media.begin, media.end, std::move(setup));
    if (o.verbose) {
        walker.onProgress([&](std::uint64_t pos, const WalkResult& r) {
            out << "progress: " << (pos - media.begin) * 100 / (media.end - media.begin) << "% ("
                << r.videoCount << " video, " << r.audioCount << " audio samples)" << std::endl;
        });
    }
    const auto started = std::chrono::steady_clock::now();
    const WalkResult walk = walker.run();
    const auto walked = std::chrono::steady_clock::now();
    if (walk.samples.empty()) {
        throw RepairError(ExitCode::NoMedia, "no media samples found in " + *o.broken);
    }
    OutputPlan plan;
    plan.path = resultPath(*o.broken);
    plan.keepTmp = o.keepTmp;
    plan.ftyp = !media.ftyp.empty() ? media.ftyp : ref.ftyp;
    plan.copyBegin = media.begin;
    for (const Sample& s : walk.samples) {
        plan.copyEnd = std::max(plan.copyEnd, s.offset + s.size);
    }
    writeOutput(plan, *broken, [&](std::uint64_t payloadStart) {
        const auto shift =
            static_cast<std::int64_t>(payloadStart) - static_cast<std::int64_t>(media.begin);
        return buildMoov(ref.movieTimescale, outputTracks(ref, walk, shift));
    });
    describeWalk(walk, media, o.verbose, out);
    if (o.verbose) {
        const auto done = std::chrono::steady_clock::now();
        out << "time: walk " << std::chrono::duration<double>(walked - started).count()
            << " s, writing " << std::chrono::duration<double>(done - walked).count() << " s\n";
    }
    out << "wrote " << plan.path << "\n";
}

} // namespace

WalkSetup makeWalkSetup(const Reference& ref, const Options& o) {
    WalkSetup s;
    s.avc = *ref.video->avc;
    s.video.lengthSize = s.avc.lengthSize;
    s.video.codec = isHevc(ref.video->codec) ? VideoCodec::Hevc : VideoCodec::H264;
    s.video.maxNal = std::clamp<std::uint64_t>(std::uint64_t{ref.video->maxSampleSize} * 8,
                                               kMinMaxNal, kMaxMaxNal);
    s.video.level = o.h264Level;
    if (ref.audio) {
        s.aac = *ref.audio->aac;
        s.aacLowGain = o.aacLowGain;
        s.audioMaxSample = ref.audio->maxSampleSize;
    }
    s.predictor =
        o.samplesPerChunk > 0
            ? InterleavePredictor::fromSamplesPerChunk(o.samplesPerChunk, ref.audio.has_value())
            : InterleavePredictor::fromReference(ref, o.gopMask, o.gopLoop);
    return s;
}

std::string resultPath(const std::string& brokenPath) {
    return brokenPath + "_untrunc.mp4";
}

int runTool(const Options& o, std::ostream& out, std::ostream& err) {
    av_log_set_level(o.ffVerbose ? AV_LOG_INFO : AV_LOG_QUIET);
    try {
        if (o.help) {
            out << helpText();
        } else if (!o.broken) {
            describeReference(usableReference(o, out), out);
        } else {
            repairFile(o, out);
        }
        return 0;
    } catch (const RepairError& e) {
        out.flush();
        err << "untrunc-w: " << e.what() << std::endl;
        return static_cast<int>(e.code());
    } catch (const std::exception& e) {
        out.flush();
        err << "untrunc-w: internal error: " << e.what() << std::endl;
        return static_cast<int>(ExitCode::BadInput);
    }
}

} // namespace repair
