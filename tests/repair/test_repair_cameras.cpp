// Recordings laid out as kinds of camera write them (tests/fixtures/camlayout), cut where a
// camera losing power leaves them: every sample complete before the cut must come back
// bit-exact, in order, on time and shown as before (floor 99 % per track and case), nothing
// else. Video with B-frames is also cut inside each picture of one group; some kinds are also
// repaired against a one-second reference; one cut leaves the mdat's size at 0.
#include "CameraCuts.h"
#include "CameraRun.h"
#include "MediaFixture.h"
#include "MiniMoov.h"
#include "PictureTimes.h"
#include "Process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <string_view>

namespace {

using camlayout::CameraKind;
using camlayout::Truth;

constexpr double kSeconds = 3;
constexpr double kReferenceSeconds = 2;
constexpr double kShortReferenceSeconds = 1;
// Without a reference the sound's rate comes from its amount against the video's time, which
// a second-long chunk cycle blurs by a cycle: cut recordings of a few cycles at least.
constexpr double kAloneSeconds = 8;

// Kinds also repaired against a one-second reference: PCM in one-second and in GOP-long
// chunks, frame-by-frame interleaves, metadata once a second, six AAC tracks, intra-only,
// MPEG-2, a timecode written once.
const std::string_view kShortReferenceKinds[] = {
    "sony-avc", "sony-hevc", "panasonic", "canon", "nikon", "gopro",
    "obs",      "xdcam",     "xdcam-ex",  "mjpeg", "drone", "phone-tc",
};

// Kinds laid out a second time with other content: another length leaves another last
// chunk, other noise other sound bytes, in which something may pass for a sample's start.
struct OtherContent {
    const char* kind;
    double seconds;
    int seed;
    const char* pattern = "testsrc";
    bool shortReference = false;
};
const OtherContent kOtherContent[] = {
    {"panasonic", 4.3, 2}, // noisy PCM at a cut
    {"xdcam", 5.7, 4},     // quiet PCM after a picture, at a cut
    {"xdcam-ex", 5.7, 2},  // a cut right after a start code's prefix
    {"obs", 3.8, 4},       // six AAC tracks' last chunks shorter than the others
    {"obs", 3.0, 3},       // ... and of one frame each, past the video's time
    // A still scene: the last video chunk, after sound, is shorter than a sound frame, and
    // the short reference never shows video after sound.
    {"gopro", 5.3, 17, "smptebars", true},
    // Still pictures of a few bytes: a picture's cut-off end that decodes as a sound frame.
    {"obs", 4.6, 29, "rgbtestsrc"},
};

// Whether the summary's video line names the frame rate and the frames kept.
bool videoLineReads(const std::string& output, const CameraKind& k, std::size_t frames) {
    const auto at = output.find("\nvideo: ");
    const std::string line =
        at == std::string::npos ? "" : output.substr(at + 1, output.find('\n', at + 1) - at - 1);
    char fps[32];
    std::snprintf(fps, sizeof fps, k.fpsNum % k.fpsDen ? " %.2f fps, " : " %.0f fps, ",
                  static_cast<double>(k.fpsNum) / k.fpsDen);
    return line.find(fps) != std::string::npos &&
           line.ends_with(" (" + std::to_string(frames) + " frames)");
}

std::uint32_t bigEndian32(const std::vector<std::uint8_t>& b) {
    return b.size() < 4 ? 0 : (std::uint32_t{b[0]} << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
}

class Run : public CameraRun {
public:
    using CameraRun::CameraRun;
    void kind(const CameraKind& k) override;

private:
    void sanity(const CameraKind& k, const std::string& original);
    void cutsOf(const CameraKind& k, const std::string& group, const std::string& original,
                const std::string& reference, bool shortReference = false);
    void cutCase(const std::string& what, const CameraKind& k, const CutCase& cut, std::uint64_t at,
                 const std::string& original, const std::string& reference);
    void cuts(const CameraKind& k, const std::string& group, const std::string& original,
              const std::string& reference, bool shortReference);
    void scoreResult(const std::string& what, const std::string& original, std::uint64_t at,
                     const std::string& result, const RunResult& run);
    const CameraKind* kind_ = nullptr;
    const TableTrack* video_ = nullptr;
    std::vector<TableTrack> originalTables_;
};

bool made(const CameraKind& k, const camlayout::ContentLook& look, std::uint32_t seed,
          const std::string& path, Truth& truth) {
    return layOutRecording(k, look, {.seed = seed}, path, truth);
}

// The fixture itself: the original plays, and a plain reading of its tables finds every
// sample where the layout says it put it.
void Run::sanity(const CameraKind& k, const std::string& original) {
    const std::string name = k.name;
    const RunResult play = runProgram({"ffmpeg", "-v", "error", "-i", original, "-f", "null", "-"});
    c_.expect(play.status == 0 && play.output.empty(),
              name + ": the original decodes\n" + play.output);
    std::string error;
    const auto tables = readTables(original, error);
    c_.expect(tables && tables->size() == truth_.tracks.size(),
              name + ": original tables " + error);
    if (!tables) {
        return;
    }
    originalTables_ = *tables;
    for (std::size_t i = 0; i < truth_.tracks.size(); ++i) {
        const auto& t = truth_.tracks[i];
        const TableTrack* read = matchTrack(truth_, i, *tables);
        c_.expect(read && tablesMatchTruth(t, *read), name + " " + label(t) + ": tables = truth");
    }
}

void Run::kind(const CameraKind& k) {
    kind_ = &k;
    const std::string base = dir_ + "/" + k.name;
    const std::string ext = k.quickTime() ? ".mov" : ".mp4";
    const std::string original = base + ".orig" + ext;
    const std::string reference = base + ".ref" + ext;
    const std::string shortReference = base + ".ref1s" + ext;
    camlayout::ContentLook look;
    look.seconds = kSeconds;
    const bool withShort =
        std::find(std::begin(kShortReferenceKinds), std::end(kShortReferenceKinds), k.name) !=
        std::end(kShortReferenceKinds);
    Truth refTruth;
    Truth shortTruth;
    const bool all = made(k, look, 1, original, truth_) &&
                     made(k, referenceLook(kReferenceSeconds), 2, reference, refTruth) &&
                     (!withShort || made(k, referenceLook(kShortReferenceSeconds), 3,
                                         shortReference, shortTruth));
    c_.expect(all, std::string(k.name) + ": recordings laid out");
    if (!all) {
        return;
    }
    cutsOf(k, k.name, original, reference);
    if (withShort) {
        cuts(k, std::string(k.name) + " 1s ref", original, shortReference, true);
    }
    for (const auto& other : kOtherContent) {
        const std::string path = base + ".other" + ext;
        look.seconds = other.seconds;
        look.noiseSeed = other.seed;
        look.pattern = other.pattern;
        const std::string& ref = other.shortReference ? shortReference : reference;
        if (other.kind == std::string_view(k.name)) {
            c_.expect(made(k, look, static_cast<std::uint32_t>(other.seed), path, truth_),
                      std::string(k.name) + ": other content laid out");
            const std::string group = std::string(k.name) + " other content";
            cutsOf(k, group, path, ref, other.shortReference);
            // All the media written and the moov lost: every track's last chunk is short.
            const CutCase end{"at the media's end", CutAt::Early, nullptr, 1.0, false};
            cutCase(group + " / " + end.name, k, end, mdatAt(truth_, 1.0), path, ref);
            // The last chunks hold what the recording had left: counts of their own.
            const CutCase last{"inside the last sound chunk", CutAt::Inside, "soun", 1.0, false};
            cutCase(group + " / " + last.name, k, last,
                    chunkCut(truth_, mdatAt(truth_, 1.0), "soun"), path, ref);
            const CutCase lastVideo{"after the last video chunk", CutAt::Boundary, nullptr, 1.0,
                                    false};
            cutCase(group + " / " + lastVideo.name, k, lastVideo, afterLastVideoChunk(truth_), path,
                    ref);
        }
    }
}

// The fixture checked, then the cuts of the table against one reference.
void Run::cutsOf(const CameraKind& k, const std::string& group, const std::string& original,
                 const std::string& reference, bool shortReference) {
    sanity(k, original);
    video_ = nullptr;
    for (std::size_t i = 0; i < truth_.tracks.size() && !video_; ++i) {
        video_ =
            truth_.tracks[i].handler == "vide" ? matchTrack(truth_, i, originalTables_) : nullptr;
    }
    cuts(k, group, original, reference, shortReference);
}

// The cuts of the table against one reference; `group` names them in the summary.
void Run::cuts(const CameraKind& k, const std::string& group, const std::string& original,
               const std::string& reference, bool shortReference) {
    for (const auto& cut : cameraCuts()) {
        if (shortReference && !cut.shortReference) {
            continue;
        }
        const auto points = cutPoints(truth_, video_, cut);
        for (std::size_t n = 0; n < points.size(); ++n) {
            const std::string what =
                group + " / " + cut.name + (points.size() > 1 ? " " + std::to_string(n + 1) : "");
            cutCase(what, k, cut, points[n], original, reference);
        }
    }
}

void Run::cutCase(const std::string& what, const CameraKind& k, const CutCase& cut,
                  std::uint64_t at, const std::string& original, const std::string& reference) {
    const std::string broken = dir_ + "/" + k.name + "-" + std::to_string(at) + ".broken";
    const bool smallHeader = truth_.mdatData == truth_.mdatOffset + 8;
    c_.expect(cutCopy(original, broken, at) &&
                  (!cut.sizeZero || !smallHeader || patchU32(broken, truth_.mdatOffset, 0)),
              what + ": broken file made");
    const RunResult r = runProgram({UNTRUNC_W, reference, broken});
    scoreResult(what, original, at, broken + "_untrunc.mp4", r);
    if (&cut == cameraCuts().data() && r.status == 0) {
        // The result's sample descriptions and timing as a player reads them, once a kind.
        const RunResult play =
            runProgram({"ffmpeg", "-v", "error", "-i", broken + "_untrunc.mp4", "-f", "null", "-"});
        c_.expect(play.status == 0 && play.output.empty(),
                  what + ": the result decodes\n" + play.output);
    }
    if (r.status != 0 && r.status != 6) {
        std::cout << "    untrunc-w: " << r.output.substr(0, r.output.find('\n')) << "\n";
    }
    if (std::getenv("KEEP_REPAIR_FILES") == nullptr) {
        std::filesystem::remove(broken);
        std::filesystem::remove(broken + "_untrunc.mp4");
    }
}

// Whether a video or sound sample lies whole before `at`.
bool playableBefore(const Truth& t, std::uint64_t at) {
    return std::any_of(t.tracks.begin(), t.tracks.end(), [at](const camlayout::TruthTrack& tr) {
        return (tr.handler == "vide" || tr.handler == "soun") && !tr.samples.empty() &&
               tr.samples.front().offset + tr.samples.front().size <= at;
    });
}

void Run::scoreResult(const std::string& what, const std::string& original, std::uint64_t at,
                      const std::string& result, const RunResult& run) {
    const int status = run.status;
    // Nothing to play: no media (4), and nothing written.
    c_.equal(status == 4, !playableBefore(truth_, at), what + ": no media only when none is whole");
    if (status == 4) {
        c_.expect(!std::filesystem::exists(result), what + ": nothing written");
        return;
    }
    std::string error = "no result file";
    std::optional<std::vector<TableTrack>> tables;
    if (std::filesystem::exists(result)) {
        tables = readTables(result, error);
    }
    c_.expect(tables.has_value() || status == 4, what + ": result readable (" + error + ")");
    const std::vector<TableTrack> none;
    FileBytes orig(original);
    FileBytes res(result);
    Kept kept;
    kept.cut = at;
    bool allAbove = true;
    for (std::size_t i = 0; i < truth_.tracks.size(); ++i) {
        const auto& t = truth_.tracks[i];
        const TableTrack* rep = matchTrack(truth_, i, tables ? *tables : none);
        const TrackScore s = scoreTrack(t, orig, kept, rep, res);
        const std::string tw = what + " " + label(t);
        const bool above = aboveFloor(s);
        allAbove = allAbove && above;
        c_.expect(above, tw + ": " + figure(s) + " below the floor");
        c_.equal(s.extra, std::uint64_t{0}, tw + ": samples not in the original");
        c_.equal(s.misordered, std::uint64_t{0}, tw + ": samples out of order or twice");
        c_.equal(s.mistimed, std::uint64_t{0}, tw + ": decode times off");
        const TableTrack* before = matchTrack(truth_, i, originalTables_);
        if (t.handler == "vide" && rep && i == 0) {
            c_.expect(videoLineReads(run.output, *kind_, rep->samples.size()),
                      tw + ": the summary's video line reads\n" + run.output);
        }
        if (t.handler == "vide" && rep && before) {
            const std::string why = pictureTimesMismatch(*before, *rep, at);
            c_.expect(why.empty(), tw + ": sync samples and display times kept: " + why);
        }
        const bool timecodeBefore = t.handler == "tmcd" && !t.samples.empty() &&
                                    t.samples[0].offset + t.samples[0].size <= at;
        if (timecodeBefore) {
            const auto value =
                rep && !rep->samples.empty() ? res.read(rep->samples[0].offset, 4) : std::nullopt;
            c_.equal(value ? bigEndian32(*value) : 0u, truth_.timecodeFrame,
                     tw + ": timecode value");
        }
    }
    if (allAbove) {
        c_.equal(status, 0, what + ": exit status of a full repair");
    } else {
        c_.expect(status != 0, what + ": a repair below the floor does not exit 0");
    }
}

// Recordings whose H.264/HEVC stream repeats its parameter sets, cut before their moov and
// repaired from the media alone. Timecode and metadata tracks cannot be described without a
// reference: they may be dropped, but none of their bytes may become video or sound.
struct AloneKind {
    const char* name;
    bool soundMayDrop; // no description of its sound can be inferred (u-law)
};

const AloneKind kAloneKinds[] = {
    {"iphone", false},   {"gopro", false},         {"dashcam-aac", false}, {"dashcam-ulaw", true},
    {"sony-avc", false}, {"camcorder-ac3", false}, {"drone", false},       {"phone-tc", false},
};

class AloneRun : public CameraRun {
public:
    using CameraRun::CameraRun;
    void kind(const CameraKind& k) override;

private:
    void score(const std::string& what, std::uint64_t at, const std::string& result,
               const RunResult& run);
    std::string original_;
    bool soundMayDrop_ = false;
};

void AloneRun::kind(const CameraKind& k) {
    camlayout::ContentLook look;
    look.seconds = kAloneSeconds;
    look.inBandParameterSets = true;
    // Raw PCM is told from random bytes by how smooth it is, as a microphone records it.
    const std::string_view audio = k.content.audioEncoder ? k.content.audioEncoder : "";
    look.noiseColor = audio.starts_with("pcm_s") ? "pink" : "white";
    original_ = dir_ + "/" + k.name + ".alone" + (k.quickTime() ? ".mov" : ".mp4");
    const bool laid = made(k, look, 1, original_, truth_);
    c_.expect(laid, std::string(k.name) + ": recording laid out");
    for (const auto& a : kAloneKinds) {
        soundMayDrop_ = a.name == std::string_view(k.name) ? a.soundMayDrop : soundMayDrop_;
    }
    for (const auto& cut : cameraCuts()) {
        if (cut.where == 0) {
            continue; // too little media before such a cut to tell the tracks from
        }
        const std::uint64_t at = laid && (cut.at == CutAt::Inside || cut.at == CutAt::Boundary)
                                     ? chunkCut(truth_, mdatAt(truth_, cut.where), cut.handler)
                                     : 0;
        const std::string broken = dir_ + "/" + k.name + "-alone-" + std::to_string(at);
        if (at && cutCopy(original_, broken, at)) {
            const RunResult r = runProgram({UNTRUNC_W, broken});
            score(std::string(k.name) + " alone / " + cut.name, at, broken + "_untrunc.mp4", r);
        }
    }
}

void AloneRun::score(const std::string& what, std::uint64_t at, const std::string& result,
                     const RunResult& run) {
    std::string error = "no result file";
    const auto tables = readTables(result, error);
    c_.expect(tables.has_value(), what + ": result readable (" + error + ")\n" + run.output);
    const RunResult play = runProgram({"ffmpeg", "-v", "error", "-i", result, "-f", "null", "-"});
    c_.expect(play.status == 0 && play.output.empty(), what + ": decodes\n" + play.output);
    FileBytes orig(original_);
    FileBytes res(result);
    Kept kept;
    kept.cut = at;
    bool keptAbove = true, mediaDropped = false;
    std::string row;
    for (std::size_t i = 0; i < truth_.tracks.size(); ++i) {
        const auto& t = truth_.tracks[i];
        const TableTrack* rep = tables ? matchTrack(truth_, i, *tables) : nullptr;
        const TrackScore s = scoreTrack(t, orig, kept, rep, res);
        const std::string tw = what + " " + label(t);
        const bool media = t.handler == "vide" || t.handler == "soun";
        const bool mayDrop = !media || (t.handler == "soun" && soundMayDrop_);
        row += " " + t.handler + (rep ? " " + figure(s) : mayDrop ? " dropped" : " lost");
        c_.expect(rep || mayDrop, tw + ": kept\n" + run.output);
        c_.expect(!rep || aboveFloor(s), tw + ": " + figure(s) + " below the floor");
        c_.equal(s.extra + s.misordered + s.mistimed, std::uint64_t{0},
                 tw + ": samples not in the original, out of order or mistimed");
        keptAbove = keptAbove && (!rep || aboveFloor(s));
        mediaDropped = mediaDropped || (media && !rep);
        c_.expect(rep || !media || run.output.find("dropped") != std::string::npos,
                  tw + ": the summary says it was dropped\n" + run.output);
    }
    std::cout << what << ":" << row << "; status " << run.status << "\n";
    // 0 only when all it kept came back; partial (6) only when less did, or sound was dropped.
    c_.expect(run.status == 0 ? keptAbove : run.status == 6 && (!keptAbove || mediaDropped),
              what + ": exit status " + std::to_string(run.status) + "\n" + run.output);
}

} // namespace

// Arguments name the kinds to run; none: all of them. "--part K/N": every N-th kind from
// the K-th on, so that the table can run as several tests. "--alone": the repairs from the
// media alone instead.
int main(int argc, char** argv) {
    if (argc > 1 && argv[1] == std::string_view("--alone")) {
        std::vector<std::string> kinds;
        for (const auto& a : kAloneKinds) {
            kinds.emplace_back(a.name);
        }
        return runCameraKinds<AloneRun>(argc - 1, argv + 1, "kestrel-cameras-alone", kinds);
    }
    return runCameraKinds<Run>(argc, argv, "kestrel-cameras");
}
