// Broken files worse than a cut (head lost or garbled, damage inside, split or mis-sized mdat,
// a zero tail up to a preallocated length), made from camera layouts: per track 99 % of the
// samples complete and outside the damage come back bit-exact, in order and within a frame of
// their time; nothing of a zero tail comes back. Exit 0 only when under 1 % of the media is lost.
#include "CameraDamage.h"
#include "CameraRun.h"
#include "MediaFixture.h"
#include "Process.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <tuple>

namespace {

using camlayout::Truth;

struct KindCase {
    const char* name;
    double seconds; // of the damaged recording
};

// A frame-by-frame interleave loses a neighbour of every stretch with it (an opaque sample
// whose end lay in the damage): the drone's recording is long enough for one such a side.
const KindCase kKinds[] = {{"sony-avc", 4},    {"canon", 4}, {"gopro", 4}, {"iphone", 4},
                           {"dashcam-aac", 4}, {"drone", 8}, {"xdcam", 4}, {"xdcam-ex", 4}};

// "1 min 3.5 s" in seconds; the text after it is left in `rest`.
double spokenSeconds(const std::string& text, std::string* rest = nullptr) {
    std::istringstream in(text);
    double total = 0, n = 0;
    std::string unit;
    while (in >> n >> unit) {
        total += n * (unit == "h" ? 3600 : unit == "min" ? 60 : 1);
        if (unit.rfind("s", 0) == 0) {
            break;
        }
    }
    if (rest) {
        std::getline(in, *rest);
    }
    return total;
}

// The summary's damaged stretches: when the first came and the video they took, in seconds,
// and how many lines tell them.
std::tuple<double, double, int> summaryDamage(const std::string& out) {
    double first = -1, video = 0;
    int told = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const bool one = line.rfind("a damaged stretch of ", 0) == 0;
        if (!one && line.find(" more damaged stretches, ") == std::string::npos) {
            continue;
        }
        ++told;
        first = first >= 0 || !one ? first : spokenSeconds(line.substr(line.find(" at ") + 4));
        for (auto p = line.find(": "); p != std::string::npos; p = line.find(" and ", p + 1)) {
            std::string rest;
            const double t = spokenSeconds(line.substr(p + (line[p] == ':' ? 2 : 5)), &rest);
            video += rest.rfind(" of video", 0) == 0 ? t : 0;
        }
    }
    return {first, video, told};
}

class Run : public CameraRun {
public:
    using CameraRun::CameraRun;
    void kind(const camlayout::CameraKind& k) override;

private:
    void damageCase(const camlayout::CameraKind& k, const DamageCase& d,
                    const std::string& original, const std::string& reference);
    std::string recorded(const DamageCase& d, const std::string& original, const std::string& stem);
    void checkDamageLines(const std::string& what, const Kept& kept,
                          const std::vector<TableTrack>* tables, const RunResult& r);
    void checkTail(const DamageCase& d, const std::string& what, const std::string& result,
                   const std::vector<TableTrack>* tables, const Kept& kept, const RunResult& r);
    double frameSeconds() const;
};

double Run::frameSeconds() const {
    for (const auto& t : truth_.tracks) {
        if (t.handler == "vide" && !t.samples.empty() && t.timescale) {
            return static_cast<double>(t.samples[0].duration) / t.timescale;
        }
    }
    return 0;
}

void Run::kind(const camlayout::CameraKind& k) {
    const std::string base = dir_ + "/" + k.name;
    const std::string original = base + ".orig";
    const std::string reference = base + ".ref";
    camlayout::ContentLook look;
    for (const auto& [name, seconds] : kKinds) {
        look.seconds = name == std::string(k.name) ? seconds : look.seconds;
    }
    Truth refTruth;
    const bool made = layOutRecording(k, look, {}, original, truth_) &&
                      layOutRecording(k, referenceLook(), {.seed = 2}, reference, refTruth);
    c_.expect(made, std::string(k.name) + ": recordings laid out");
    if (!made) {
        return;
    }
    for (const auto& d : damageCases()) {
        damageCase(k, d, original, reference);
    }
}

// The recording the broken file was made from: with raw sound silent up to the cut when
// the case says so.
std::string Run::recorded(const DamageCase& d, const std::string& original,
                          const std::string& stem) {
    if (d.tail.planned == 0 || d.tail.at != TailCut::AfterSilence) {
        return original;
    }
    std::string b = readFile(original);
    if (!silenceBefore(truth_, tailCutPoint(truth_, d.tail), b)) {
        return original;
    }
    c_.expect(writeFile(stem + ".silent", b), stem + ": silent recording made");
    return stem + ".silent";
}

// Zeros a camera preallocated are not media: no sample of the result holds them, and the
// summary says they were left out (and only then).
void Run::checkTail(const DamageCase& d, const std::string& what, const std::string& result,
                    const std::vector<TableTrack>* tables, const Kept& kept, const RunResult& r) {
    const bool tail = d.tail.planned > 0;
    c_.equal(r.output.find("zero tail") != std::string::npos, tail,
             what + ": zero tail reported\n" + r.output);
    if (tail && tables) {
        c_.equal(sampleInTail(*tables, result, truth_.mdatData, kept.cut), std::string(),
                 what + ": sample in the zero tail");
    }
}

// Each damaged stretch is told about near when it came, and the video time they are told
// to have taken is the time the result's video leaves out.
void Run::checkDamageLines(const std::string& what, const Kept& kept,
                           const std::vector<TableTrack>* tables, const RunResult& r) {
    const auto video = std::find_if(truth_.tracks.begin(), truth_.tracks.end(),
                                    [](const auto& t) { return t.handler == "vide"; });
    const TableTrack* rep =
        tables && video != truth_.tracks.end()
            ? matchTrack(truth_, static_cast<std::size_t>(video - truth_.tracks.begin()), *tables)
            : nullptr;
    if (kept.damaged.empty() || !rep || rep->timescale == 0) {
        return;
    }
    double when = -1, gaps = 0;
    for (const auto& v : video->samples) {
        when = when < 0 && v.offset + v.size > kept.damaged[0].first
                   ? static_cast<double>(v.dts) / video->timescale
                   : when;
    }
    for (const auto& v : rep->samples) {
        gaps += v.duration > video->samples[0].duration
                    ? (v.duration - video->samples[0].duration) * 1.0 / rep->timescale
                    : 0;
    }
    // Each line's time is rounded to a twentieth of a second at most.
    const auto [first, told, lines] = summaryDamage(r.output);
    c_.expect((first < 0 || std::abs(first - when) <= 1.5) &&
                  std::abs(told - gaps) <= frameSeconds() + 0.05 * (lines + 1),
              what + ": the damage told near " + std::to_string(when) + " s, with " +
                  std::to_string(gaps) + " s of video lost\n" + r.output);
}

void Run::damageCase(const camlayout::CameraKind& k, const DamageCase& d,
                     const std::string& original, const std::string& reference) {
    const std::string what = std::string(k.name) + " / " + d.name;
    Kept kept;
    kept.slack = frameSeconds();
    const std::string stem = dir_ + "/" + k.name + "-" + std::to_string(&d - damageCases().data());
    const std::string source = recorded(d, original, stem);
    const std::string broken = stem + ".broken";
    c_.expect(writeFile(broken, damaged(truth_, source, d, kept)), what + ": broken file made");
    const RunResult r = runProgram({UNTRUNC_W, reference, broken});
    std::string error = "no result";
    const auto tables = readTables(broken + "_untrunc.mp4", error);
    c_.expect(tables.has_value(), what + ": result readable (" + error + ")\n" + r.output);
    checkTail(d, what, broken + "_untrunc.mp4", tables ? &*tables : nullptr, kept, r);
    checkDamageLines(what, kept, tables ? &*tables : nullptr, r);
    FileBytes orig(source);
    FileBytes res(broken + "_untrunc.mp4");
    bool whole = true;
    std::vector<TrackScore> scores;
    for (std::size_t i = 0; i < truth_.tracks.size(); ++i) {
        const auto& t = truth_.tracks[i];
        const std::vector<TableTrack> none;
        const TrackScore s =
            scoreTrack(t, orig, kept, matchTrack(truth_, i, tables ? *tables : none), res);
        scores.push_back(s);
        const std::string tw = what + " " + t.handler + " " + t.fourcc;
        whole = whole && aboveFloor(s);
        c_.expect(aboveFloor(s), tw + ": " + figure(s) + " below the floor");
        if (nothingDamaged(d)) {
            c_.expect(s.recovered == s.expected && s.extra == 0,
                      tw + ": " + figure(s) + " of a file with no damage");
        }
        // What lies in a damaged stretch may come back as it is now: it is not counted.
        c_.equal(s.misordered, std::uint64_t{0}, tw + ": samples out of order");
        c_.equal(s.mistimed, std::uint64_t{0}, tw + ": times off by more than a frame");
    }
    const double lost = lostShare(truth_, d, kept, scores);
    if (d.kind == Damage::TrackGone && !rawTrack(truth_, d.handler)) {
        // Every sample outside the damage is back, but half a track is not: not a repair.
        // (Raw PCM wiped to zeros is silence, which the layout places: that comes back.)
        c_.equal(r.status, 6, what + ": a track out of time is a partial repair\n" + r.output);
    } else if (lost >= 1 - kFloor) {
        c_.equal(r.status, 6, what + ": media lost to damage is a partial repair\n" + r.output);
    } else if (whole) {
        c_.equal(r.status, 0, what + ": exit status\n" + r.output);
    } else {
        c_.expect(r.status != 0, what + ": a repair below the floor does not exit 0");
    }
}

} // namespace

// Arguments name the kinds to run; none: all of them.
int main(int argc, char** argv) {
    std::vector<std::string> kinds;
    for (const auto& k : kKinds) {
        kinds.push_back(k.name);
    }
    return runCameraKinds<Run>(argc, argv, "kestrel-damage", kinds);
}
