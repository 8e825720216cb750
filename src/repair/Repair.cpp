#include "Repair.h"

#include "DecodeCheck.h"
#include "Describe.h"
#include "Engine.h"
#include "MediaAlone.h"
#include "OwnIndex.h"
#include "ParamFit.h"
#include "RepairedFile.h"
#include "Summary.h"
#include "box/Box.h"
#include "box/BrokenFile.h"
#include "box/Endian.h"
#include "box/RefCheck.h"
#include "box/RepairError.h"
#include "codec/ConfigFault.h"
#include "walk/ChunkWalker.h"
#include "write/OutputFile.h"

#include <chrono>
#include <optional>
#include <ostream>

extern "C" {
#include <libavutil/log.h>
}

namespace repair {
namespace {

// Each input is opened once, here, and the one FileSource serves every reader of it. An
// empty file fails with `ifEmpty`: an empty broken file is a recording that got no media.
std::unique_ptr<FileSource> openInput(const std::string& path, const char* role, ExitCode ifEmpty) {
    auto f = std::make_unique<FileSource>(path);
    if (!f->ok()) {
        throw RepairError(ExitCode::BadInput,
                          std::string("cannot open ") + role + " file " + path + ": " + f->error());
    }
    if (f->size() == 0) {
        throw RepairError(ifEmpty,
                          std::string(role) + " file " + path + " is empty" +
                              (ifEmpty == ExitCode::NoMedia ? ": no media to recover" : ""));
    }
    return f;
}

// The reference checked before use: what is left out of it, or mended, is said first. A
// track left out is still walked over when its samples can be told.
Reference loadReference(const ByteSource& file, const std::string& path, std::ostream& out) {
    Reference ref = readReference(file);
    checkReference(ref, file, path);
    for (std::size_t i = 0; i < ref.tracks.size(); ++i) {
        leaveOut(ref, i, configFault(ref.tracks[i]));
    }
    requireUsable(ref, path);
    // A family that cannot use a damaged configuration does not take the track.
    settleLeftOut(ref, [](const RefTrack& t) { return familyFor(t) != nullptr; });
    for (const auto& note : ref.notes) {
        out << "reference: " << note << "\n";
    }
    for (const auto& t : ref.leftOut) {
        out << leftOutLine(t) << "\n";
    }
    return ref;
}

// A sound or video track of the reference left out of the result: the repair is partial.
const LeftOut* mediaLeftOut(const Reference& ref) {
    for (const auto& t : ref.leftOut) {
        if (isVideoHandler(t.handler) || t.handler == fourcc("soun")) {
            return &t;
        }
    }
    return nullptr;
}

void logChunks(Engine& engine, const Reference& ref, std::ostream& out) {
    engine.onChunk([&ref, &out](const ChunkFound& c) {
        const RefTrack& t = ref.tracks[static_cast<std::size_t>(c.track)];
        out << "chunk: track " << c.track + 1 << " (" << typeName(t.codec) << ") at " << c.offset
            << ", " << c.samples << " samples, " << c.bytes << " bytes\n";
    });
}

// The media the walk may keep: from the first media byte to the end of the media data.
OutputPlan planOutput(const Options& o, const Reference& ref, const MediaData& media) {
    OutputPlan plan;
    plan.path = resultPath(*o.broken);
    plan.keepTmp = o.keepTmp;
    plan.head = media.ftyp.empty() ? ref.ftyp : std::vector<std::uint8_t>{};
    plan.head.insert(plan.head.end(), media.head.begin(), media.head.end());
    plan.copyBegin = media.begin;
    plan.copyEnd = media.end;
    return plan;
}

// Why less than the whole media data came back: recognition stopped, or damage took it.
std::string whyShort(const WalkResult& walk) {
    if (walk.stoppedEarly || walk.skippedBytes == 0) {
        return "recognition stopped at byte " + std::to_string(walk.stoppedAt) + " (" +
               walk.stopReason + ")";
    }
    return std::to_string(walk.skippedBytes) + " bytes in " + std::to_string(walk.stretches) +
           " damaged stretch(es) matched no track";
}

// Why a result is partial: in the outcome line, and on standard error; empty when it is not.
struct Partial {
    std::string summary, why;
};

// Whether some video or sound came back, where the reference has any: a result holding only
// metadata plays nothing.
bool playableCameBack(const Reference& ref, const WalkResult& walk) {
    bool any = false;
    for (std::size_t i = 0; i < ref.tracks.size() && i < walk.tracks.size(); ++i) {
        const RefTrack& t = ref.tracks[i];
        if (isVideoHandler(t.handler) || t.handler == fourcc("soun")) {
            any = true;
            if (walk.tracks[i].samples > 0) {
                return true;
            }
        }
    }
    return !any;
}

Partial partialRepair(const Reference& ref, const WalkResult& walk, const std::string& undecoded,
                      const std::string& known) {
    if (const double share = mediaShare(walk); share < kWholeRepair) {
        return {spokenShare(share) + " of the media data came back",
                whyShort(walk) + "; " + describeShare(share) + " of the media data accounted for"};
    }
    if (!known.empty()) {
        return {known, known};
    }
    if (const LeftOut* t = mediaLeftOut(ref)) {
        return {leftOutLine(*t), leftOutLine(*t)};
    }
    if (!walk.endedEarly.empty()) {
        return {"a track is short of samples", walk.endedEarly};
    }
    if (!walk.outOfTime.empty()) {
        return {"the tracks are out of time",
                "the tracks are out of time (" + walk.outOfTime + ")"};
    }
    if (!undecoded.empty()) {
        return {"some of the pictures checked do not decode", undecoded};
    }
    return {};
}

// A whole file given as the broken one: there is nothing to repair, or the two files were
// given the wrong way round.
[[noreturn]] void refuseWhole(const Options& o) {
    const auto refFile = openInput(o.reference, "reference", ExitCode::BadInput);
    if (!hasIndex(*refFile)) {
        throw RepairError(ExitCode::BadInput, "the reference " + o.reference +
                                                  " has no index and the broken file " + *o.broken +
                                                  " is whole: were the two swapped?");
    }
    throw RepairError(ExitCode::BadInput,
                      "the broken file " + *o.broken + " is whole: nothing to repair");
}

// Where the tracks of a walk come from: a reference file, the broken file's own stale
// index, or its media alone.
enum class TracksFrom { Reference, StaleIndex, Media };

void summarizeIndex(TracksFrom from, const Reference& ref, const WalkResult& walk,
                    std::ostream& out) {
    if (from == TracksFrom::StaleIndex) {
        summarizeStaleIndex(ref, walk, out);
    } else {
        out << (from == TracksFrom::Media
                    ? "index: rebuilt from the media data with tracks told from the media itself\n"
                    : "index: rebuilt from the media data with the reference's tracks\n");
    }
}

// The walk over the broken file's media with the tracks of `ref` (whose samples lie in
// refFile), the result written and summed up. `known`: why the result is partial whatever
// the walk finds (empty when nothing makes it so).
int walkAndWrite(const Options& o, const FileSource& broken, const MediaData& media, Reference ref,
                 const ByteSource& refFile, TracksFrom from, const std::string& known,
                 std::ostream& out, std::ostream& err) {
    std::optional<Engine> engine(std::in_place, ref, refFile, o);
    if (o.verbose) {
        describeReference(ref, *engine, out);
        logChunks(*engine, ref, out);
        out << "broken file: media data from byte " << media.begin << " to " << media.end
            << (media.cut ? " (cut off)" : "") << "\n";
    }
    const auto started = std::chrono::steady_clock::now();
    WalkResult walk;
    auto walked = started;
    std::string undecoded;
    std::vector<std::string> refitted;
    OutputPlan plan = planOutput(o, ref, media);
    const auto walkDuringCopy = [&](const std::function<void(std::uint64_t)>& reached) {
        walk = engine->walk(broken, media, reached);
        if (walk.dataEnd <= media.begin) {
            throw RepairError(ExitCode::NoMedia, "no media samples found in " + *o.broken + " (" +
                                                     walk.stopReason + ")");
        }
        if (!playableCameBack(ref, walk)) {
            throw RepairError(ExitCode::NoMedia, "no video or sound sample is whole in " +
                                                     *o.broken + ": it holds only metadata (" +
                                                     walk.stopReason + ")");
        }
        // Another mode of the same camera: the walk is done again with the recording's own
        // parameter sets, which its picture order and slices depend on.
        refitted = fitParameterSets(ref, refFile, walk, broken);
        if (!refitted.empty()) {
            engine.emplace(ref, refFile, o);
            walk = engine->walk(broken, media, reached);
        }
        walked = std::chrono::steady_clock::now();
        // A reference from another camera or setting would make a file that does not play:
        // nothing is written then.
        undecoded = checkDecodes(ref, refFile, walk, broken);
        return walk.dataEnd;
    };
    writeOutput(plan, broken, walkDuringCopy, [&](std::uint64_t payloadStart) {
        const auto shift =
            static_cast<std::int64_t>(payloadStart) - static_cast<std::int64_t>(media.begin);
        return buildMoov(ref, engine->outputTracks(walk, shift));
    });
    summarizeIndex(from, ref, walk, out);
    for (const auto& line : refitted) {
        out << line << "\n";
    }
    if (o.verbose) {
        describeWalk(ref, walk, out);
        const auto done = std::chrono::steady_clock::now();
        out << "time: walk " << std::chrono::duration<double>(walked - started).count()
            << " s, the rest of the copy and the index "
            << std::chrono::duration<double>(done - walked).count() << " s\n";
    }
    const auto tracks = engine->outputTracks(walk, 0);
    summarizeTracks(ref, tracks, broken, out);
    summarizeDamage(ref, walk, out);
    const Partial partial = partialRepair(ref, walk, undecoded, known);
    summarizeOutcome(tracks, walk.stretches > 0, partial.summary, out);
    out << "wrote " << plan.path << "\n";
    if (!partial.why.empty()) {
        out.flush();
        err << "untrunc-w: partial repair: " << partial.why << std::endl;
        return static_cast<int>(ExitCode::Partial);
    }
    return 0;
}

// o.reference empty: the broken file was given alone.
int repairFile(const Options& o, std::ostream& out, std::ostream& err) {
    const auto broken = openInput(*o.broken, "broken", ExitCode::NoMedia);
    if (isWholeRecording(*broken)) {
        refuseWhole(o);
    }
    // A broken file whose own index survived before its media data needs no reference.
    if (const auto status =
            repairFromOwnIndex(o, *broken, *o.broken, OwnIndexUse::Always, out, err)) {
        return *status;
    }
    if (o.reference.empty()) {
        const MediaData media = findMediaData(*broken);
        const MediaAlone alone = referenceFromMedia(*broken, media, o);
        out << alone.headline << "\n";
        // A guess the media does not confirm leaves the result partial, as sound dropped does.
        const std::string partial = alone.dropped.empty() || alone.unsure.empty()
                                        ? alone.dropped + alone.unsure
                                        : alone.dropped + "; " + alone.unsure;
        return walkAndWrite(o, *broken, media, alone.ref, *broken, TracksFrom::Media, partial, out,
                            err);
    }
    // An index that lists only the media written before its last rewrite describes the
    // file's own tracks and layout better than any other recording.
    const bool stale = hasStaleIndex(*broken);
    const std::string refPath = stale ? *o.broken : o.reference;
    const auto refFile = openInput(refPath, "reference", ExitCode::BadInput);
    const Reference ref = loadReference(*refFile, refPath, out);
    return walkAndWrite(o, *broken, findMediaData(*broken), ref, *refFile,
                        stale ? TracksFrom::StaleIndex : TracksFrom::Reference, "", out, err);
}

} // namespace

int runTool(const Options& o, std::ostream& out, std::ostream& err) {
    av_log_set_level(o.ffVerbose ? AV_LOG_INFO : AV_LOG_QUIET);
    try {
        if (o.help) {
            out << helpText();
            return 0;
        }
        if (!o.broken) {
            // One file: a fast-start file cut inside its media data is repaired on its own.
            const auto refFile = openInput(o.reference, "reference", ExitCode::BadInput);
            if (hasStaleIndex(*refFile)) {
                Options alone = o;
                alone.broken = o.reference;
                return repairFile(alone, out, err);
            }
            if (const auto status =
                    repairFromOwnIndex(o, *refFile, o.reference, OwnIndexUse::WhenCut, out, err)) {
                return *status;
            }
            // No index at all: the media must describe itself.
            if (!hasIndex(*refFile)) {
                Options alone = o;
                alone.broken = o.reference;
                alone.reference.clear();
                return repairFile(alone, out, err);
            }
            const Reference ref = loadReference(*refFile, o.reference, out);
            describeReference(ref, Engine(ref, *refFile, o), out);
            return 0;
        }
        return repairFile(o, out, err);
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
