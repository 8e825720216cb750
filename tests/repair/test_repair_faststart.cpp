// Fast-start recordings (moov first) laid out like cameras and cut inside their media data:
// repaired from their own index, alone and with a reference, every sample complete before the
// cut back bit-exact, in order, with the index's own timing (floor 99 %), and the summary
// gives the index's counts.
#include "CameraRun.h"
#include "MediaFixture.h"
#include "MiniMoov.h"
#include "Process.h"

#include <cmath>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {

using camlayout::Truth;
using camlayout::TruthTrack;

enum class CutAt { Fraction, InsideChunk, Boundary, LastByte };

struct CutCase {
    const char* name;
    CutAt at;
    const char* handler; // InsideChunk: the chunk's track handler
    double where;        // fraction of the mdat payload
};

const CutCase kCuts[] = {
    {"early, 5%", CutAt::Fraction, nullptr, 0.05},
    {"inside a video chunk", CutAt::InsideChunk, "vide", 0.5},
    {"inside a sound chunk", CutAt::InsideChunk, "soun", 0.3},
    {"on a chunk boundary", CutAt::Boundary, nullptr, 0.7},
    {"last byte missing", CutAt::LastByte, nullptr, 1.0},
};

struct RunForm {
    const char* name;
    bool withReference;
};

const RunForm kForms[] = {{"alone", false}, {"with a reference", true}};

std::uint64_t cutPoint(const Truth& t, const CutCase& c) {
    const std::uint64_t target = mdatAt(t, c.where);
    return c.at == CutAt::Fraction   ? target
           : c.at == CutAt::LastByte ? t.fileSize - 1
                                     : chunkCut(t, target, c.handler);
}

// What the index lists of a track, and how much of it lies whole before the cut (LPCM in
// frames, like the tool counts them).
struct Counts {
    std::uint64_t listed = 0, complete = 0;
};

Counts counts(const TruthTrack& t, std::uint64_t cut) {
    Counts n;
    for (const auto& s : t.samples) {
        if (t.frameBytes) {
            n.listed += s.duration;
            n.complete +=
                s.offset >= cut
                    ? 0
                    : std::min<std::uint64_t>(s.duration, (cut - s.offset) / t.frameBytes);
        } else {
            ++n.listed;
            n.complete += s.offset + s.size <= cut ? 1 : 0;
        }
    }
    return n;
}

std::string summaryLine(const TruthTrack& t, std::size_t index, const Counts& n) {
    return "track " + std::to_string(index + 1) + " (id " + std::to_string(t.id) + ", " +
           t.handler + " " + t.fourcc + "): the index lists " + std::to_string(n.listed) +
           " samples, " + std::to_string(n.complete) + " complete";
}

// Decode times and durations are the index's own, not a guess within a sample.
bool timingExact(const TruthTrack& t, const TableTrack& r) {
    if (r.timescale != t.timescale) {
        return false;
    }
    for (std::size_t i = 0; i < r.samples.size(); ++i) {
        const TableSample& s = r.samples[i];
        if (t.frameBytes) {
            if (s.dts != i || s.duration != 1) {
                return false;
            }
        } else if (i >= t.samples.size() || s.dts != t.samples[i].dts ||
                   (t.samples.size() > 1 && s.duration != t.samples[i].duration)) {
            return false;
        }
    }
    return true;
}

class Run : public CameraRun {
public:
    using CameraRun::CameraRun;
    void kind(const camlayout::CameraKind& k) override;

private:
    void edgeCases();
    void cutCase(const std::string& what, std::uint64_t at, const RunForm& form);
    void score(const std::string& what, std::uint64_t at, const std::string& result,
               const std::string& output, int status);
    std::string kind_, original_, reference_;
    std::vector<TableTrack> originalTables_;
};

void Run::kind(const camlayout::CameraKind& k) {
    kind_ = k.name;
    original_ = dir_ + "/" + kind_ + ".fast.mp4";
    reference_ = dir_ + "/" + kind_ + ".ref.mp4";
    Truth refTruth;
    const bool made = layOutRecording(k, {}, {.moovFirst = true}, original_, truth_) &&
                      layOutRecording(k, referenceLook(), {}, reference_, refTruth);
    c_.expect(made, kind_ + ": recordings laid out");
    if (!made) {
        return;
    }
    // A fixture whose moov did not come first, or whose moved offsets were wrong, fails the
    // cases below: their results are scored against the layout's truth.
    std::string error;
    originalTables_ = readTables(original_, error).value_or(std::vector<TableTrack>{});
    for (const auto& cut : kCuts) {
        for (const auto& form : kForms) {
            cutCase(kind_ + " / " + cut.name + " / " + form.name, cutPoint(truth_, cut), form);
        }
    }
    if (kind_ == "dashcam-aac") {
        edgeCases();
    }
}

void Run::cutCase(const std::string& what, std::uint64_t at, const RunForm& form) {
    const std::string broken = dir_ + "/" + kind_ + "-" + std::to_string(at) + "-" +
                               (form.withReference ? "ref" : "alone") + ".mp4";
    c_.expect(cutCopy(original_, broken, at), what + ": broken file made");
    std::vector<std::string> argv{UNTRUNC_W, "--uverbose"};
    if (form.withReference) {
        argv.push_back(reference_);
    }
    argv.push_back(broken);
    const RunResult r = runProgram(argv);
    score(what, at, broken + "_untrunc.mp4", r.output, r.status);
}

void Run::score(const std::string& what, std::uint64_t at, const std::string& result,
                const std::string& output, int status) {
    c_.equal(status, 0, what + ": exit status\n" + output);
    c_.expect(output.find("index: the file's own moov") != std::string::npos,
              what + ": the summary names the file's own index");
    std::string error = "no result file";
    const auto tables = fs::exists(result) ? readTables(result, error) : std::nullopt;
    c_.expect(tables.has_value(), what + ": result readable (" + error + ")");
    const RunResult play = runProgram({"ffmpeg", "-v", "error", "-i", result, "-f", "null", "-"});
    c_.expect(play.status == 0 && play.output.empty(),
              what + ": the result decodes\n" + play.output);
    FileBytes orig(original_);
    FileBytes res(result);
    Kept kept;
    kept.cut = at;
    const std::vector<TableTrack> none;
    for (std::size_t i = 0; i < truth_.tracks.size(); ++i) {
        const TruthTrack& t = truth_.tracks[i];
        const std::string tw = what + " " + label(t);
        const Counts n = counts(t, at);
        c_.expect(output.find(summaryLine(t, i, n)) != std::string::npos,
                  tw + ": summary says '" + summaryLine(t, i, n) + "'");
        const TableTrack* rep = matchTrack(truth_, i, tables ? *tables : none);
        const TrackScore s = scoreTrack(t, orig, kept, rep, res);
        c_.expect(aboveFloor(s), tw + ": " + figure(s) + " below the floor");
        c_.equal(s.extra + s.misordered + s.mistimed, std::uint64_t{0},
                 tw + ": samples not in the original, out of order or mistimed");
        const TableTrack* orig0 = matchTrack(truth_, i, originalTables_);
        c_.expect(!rep || (timingExact(t, *rep) && orig0 && rep->hasCtts == orig0->hasCtts &&
                           rep->hasStss == orig0->hasStss),
                  tw + ": the index's own timing, ctts and stss");
    }
}

// The same kind's file whole (described), cut just after its index, and with a chunk offset
// that lies. (A whole file with a reference: test_repair_cli.)
void Run::edgeCases() {
    const std::string whole = dir_ + "/" + kind_ + ".whole.mp4";
    fs::copy_file(original_, whole, fs::copy_options::overwrite_existing);
    const RunResult alone = runProgram({UNTRUNC_W, whole});
    c_.expect(alone.status == 0 && alone.output.find("reference track 1") != std::string::npos &&
                  !fs::exists(whole + "_untrunc.mp4"),
              kind_ + " whole, alone: described, nothing written\n" + alone.output);

    const std::string early = dir_ + "/" + kind_ + ".early.mp4";
    c_.expect(cutCopy(original_, early, truth_.mdatData + 4), "early file made");
    const RunResult none = runProgram({UNTRUNC_W, early});
    c_.expect(none.status == 4 && none.output.find("no media samples") != std::string::npos &&
                  !fs::exists(early + "_untrunc.mp4"),
              kind_ + " cut after its index: no media, nothing written\n" + none.output);

    // The second video chunk's offset points past the end: the video keeps its first chunk.
    const std::string lying = dir_ + "/" + kind_ + ".lying.mp4";
    const std::string bytes = readFile(original_);
    std::vector<std::uint64_t> video;
    for (const auto& ch : truth_.chunks) {
        if (ch.track == 0) {
            video.push_back(ch.offset);
        }
    }
    const std::string needle = {char(video[1] >> 24), char(video[1] >> 16), char(video[1] >> 8),
                                char(video[1])};
    const auto at = bytes.find(needle);
    c_.expect(at < truth_.mdatOffset && bytes.find(needle, at + 1) >= truth_.mdatOffset,
              kind_ + ": the chunk offset found once in the index");
    c_.expect(cutCopy(original_, lying, truth_.fileSize) && patchU32(lying, at, 0x7FFFFFF0u),
              kind_ + ": lying file made");
    const RunResult partial = runProgram({UNTRUNC_W, lying});
    std::string error;
    const auto tables = readTables(lying + "_untrunc.mp4", error);
    const TableTrack* rep = tables ? matchTrack(truth_, 0, *tables) : nullptr;
    std::size_t firstChunk = 0;
    while (firstChunk < truth_.tracks[0].samples.size() &&
           truth_.tracks[0].samples[firstChunk].offset < video[1]) {
        ++firstChunk;
    }
    c_.expect(partial.status == 6 &&
                  partial.output.find("untrunc-w: partial repair: track 1 ") != std::string::npos &&
                  rep && rep->samples.size() == firstChunk,
              kind_ + " lying chunk offset: partial, the first chunk kept\n" + partial.output);
}

} // namespace

int main(int argc, char** argv) {
    return runCameraKinds<Run>(argc, argv, "kestrel-faststart",
                               {"sony-avc", "gopro", "dashcam-aac", "iphone"});
}
