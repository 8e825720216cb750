// Broken files worse than a cut (head lost or garbled, damage inside, split or mis-sized mdat,
// a zero tail up to a preallocated length), made from camera layouts: per track 99 % of the
// samples complete and outside the damage come back bit-exact, in order and within a frame of
// their time; nothing of a zero tail comes back. Exit 0 only when under 1 % of the media is lost.
#include "BoxBuilder.h"
#include "CameraRun.h"
#include "MediaFixture.h"
#include "MiniMoov.h"
#include "Process.h"
#include "ZeroTail.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <tuple>

namespace {

using camlayout::Truth;

enum class Damage {
    CutOnly,
    NoHead,
    ZeroHead,
    NoiseHead,
    ZerosInside,
    NoiseInside,
    TwoMdats,
    SmallMdat,
    ZerosInChunk,  // the middle `share` of one chunk of a track: no other track is hit
    NoiseInChunk,  // the same with random bytes
    ZerosToNextOf, // from the middle of one chunk of a track to the middle of its next one
    TrackGone,     // every chunk of a track zeroed from `where` on: the result cannot be whole
    FirstOfChunk,  // the first sample of one chunk of a track (a keyframe, where chunks open so)
};

struct DamageCase {
    const char* name;
    Damage kind;
    double where = 0;              // fraction of the mdat payload
    std::uint64_t size = 0;        // bytes damaged or removed
    const char* handler = nullptr; // the track whose chunk is damaged
    double share = 0;              // of that chunk's bytes
    ZeroTail tail = {};            // then cut and filled with zeros up to a planned length
};

const DamageCase kCases[] = {
    {"no head", Damage::NoHead, 0.0, 3000},
    {"head zeroed", Damage::ZeroHead, 0.0, 4096},
    {"head garbled", Damage::NoiseHead, 0.0, 2500},
    {"zeros inside", Damage::ZerosInside, 0.45, 4096},
    {"noise inside", Damage::NoiseInside, 0.6, 20000},
    {"two mdat boxes", Damage::TwoMdats, 0.5, 0},
    {"mdat size too small", Damage::SmallMdat, 0.0, 0},
    {"zeros in a video chunk", Damage::ZerosInChunk, 0.55, 0, "vide", 0.6},
    {"noise in a sound chunk", Damage::NoiseInChunk, 0.35, 0, "soun", 0.5},
    {"zeros across tracks", Damage::ZerosToNextOf, 0.7, 0, "vide"},
    {"sound gone from the middle", Damage::TrackGone, 0.5, 0, "soun"},
    {"sound gone", Damage::TrackGone, 0.0, 0, "soun"},
    {"first picture of a video chunk zeroed", Damage::FirstOfChunk, 0.7, 0, "vide"},
    {.name = "tail, cut mid-sample",
     .kind = Damage::CutOnly,
     .tail = {1.5, 0.55, TailCut::MidSample, false}},
    {.name = "tail x4, cut in a chunk",
     .kind = Damage::CutOnly,
     .tail = {4, 0.8, TailCut::BetweenSamples, true}},
    {.name = "tail after silence",
     .kind = Damage::CutOnly,
     .tail = {2, 0.65, TailCut::AfterSilence, false}},
    {.name = "tail before sound",
     .kind = Damage::CutOnly,
     .tail = {3, 0.35, TailCut::BeforeSound, false}},
    {.name = "tail after metadata",
     .kind = Damage::CutOnly,
     .tail = {2, 0.6, TailCut::AfterData, false}},
    {.name = "zeros inside, tail",
     .kind = Damage::ZerosInside,
     .where = 0.45,
     .size = 4096,
     .tail = {1.5, 0.85, TailCut::MidSample, true}},
};

// The stretch [from, to) that a case damaging chunks overwrites; empty when the kind has no
// such chunk.
std::pair<std::uint64_t, std::uint64_t> chunkStretch(const Truth& t, const DamageCase& d,
                                                     std::uint64_t near) {
    const camlayout::TruthChunk* c = nearestChunk(t, near, d.handler);
    if (!c || c->size < 4) {
        return {0, 0};
    }
    const auto part = static_cast<std::uint64_t>(static_cast<double>(c->size) * d.share);
    if (d.kind != Damage::ZerosToNextOf) {
        const std::uint64_t from = c->offset + (c->size - part) / 2;
        return {from, from + part};
    }
    for (const auto& n : t.chunks) {
        if (n.track == c->track && n.offset > c->offset) {
            return {c->offset + c->size / 2, n.offset + n.size / 2};
        }
    }
    return {0, 0};
}

// Media split or bounded by boxes, or a zero tail after the cut: every sample comes back.
bool nothingDamaged(const DamageCase& d) {
    return d.kind == Damage::TwoMdats || d.kind == Damage::SmallMdat || d.kind == Damage::CutOnly;
}

struct KindCase {
    const char* name;
    double seconds; // of the damaged recording
};

// A frame-by-frame interleave loses a neighbour of every stretch with it (an opaque sample
// whose end lay in the damage): the drone's recording is long enough for one such a side.
const KindCase kKinds[] = {{"sony-avc", 4},    {"canon", 4}, {"gopro", 4}, {"iphone", 4},
                           {"dashcam-aac", 4}, {"drone", 8}, {"xdcam", 4}, {"xdcam-ex", 4}};

void noise(std::string& b, std::uint64_t from, std::uint64_t n, bool zeros) {
    std::uint64_t x = 0x9e3779b97f4a7c15ull ^ from;
    for (std::uint64_t i = from; i < from + n && i < b.size(); ++i) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        b[i] = zeros ? '\0' : static_cast<char>(x >> 56);
    }
}

// The broken copy of `original` (its moov is dropped: the cut is at the end of its media)
// and what of the original it still holds.
std::string damageMedia(const Truth& t, std::string b, const DamageCase& d, Kept& kept) {
    if (d.kind == Damage::SmallMdat) {
        // A camera that finished its file but left a wrong mdat size: the moov is there.
        putBe(b, t.mdatOffset, 1000, 4);
        kept.cut = t.mdatEnd;
        return b;
    }
    b.resize(t.mdatEnd);
    kept.cut = t.mdatEnd;
    auto at = mdatAt(t, d.where);
    switch (d.kind) {
    case Damage::CutOnly:
        return b;
    case Damage::NoHead:
        kept.begin = t.mdatData + d.size;
        kept.times = false;
        return b.substr(kept.begin);
    case Damage::ZeroHead:
    case Damage::NoiseHead:
        noise(b, 0, d.size, d.kind == Damage::ZeroHead);
        kept.begin = d.size;
        kept.times = false;
        return b;
    case Damage::ZerosInside:
    case Damage::NoiseInside:
        noise(b, at, d.size, d.kind == Damage::ZerosInside);
        kept.damaged.emplace_back(at, at + d.size);
        return b;
    case Damage::TwoMdats: {
        // mdat | free | mdat: the chunks from the middle on behind a box of their own.
        for (const auto& c : t.chunks) {
            if (c.offset >= at) {
                at = c.offset;
                break;
            }
        }
        camlayout::BoxBuilder g;
        g.box("free", {});
        g.u32(static_cast<std::uint32_t>(b.size() - at + 8));
        g.fourcc("mdat");
        putBe(b, t.mdatOffset, at - t.mdatOffset, 4);
        return b.substr(0, at) + std::string(g.bytes().begin(), g.bytes().end()) + b.substr(at);
    }
    case Damage::ZerosInChunk:
    case Damage::NoiseInChunk:
    case Damage::ZerosToNextOf: {
        const auto [from, to] = chunkStretch(t, d, at);
        noise(b, from, to - from, d.kind != Damage::NoiseInChunk);
        kept.damaged.emplace_back(from, to);
        return b;
    }
    case Damage::FirstOfChunk:
        if (const camlayout::TruthChunk* c = nearestChunk(t, at, d.handler)) {
            for (const auto& first : t.tracks[c->track].samples) {
                if (first.offset == c->offset) {
                    noise(b, first.offset, first.size, true);
                    kept.damaged.emplace_back(first.offset, first.offset + first.size);
                }
            }
        }
        return b;
    case Damage::TrackGone:
        for (const auto& c : t.chunks) {
            if (c.offset >= at && t.tracks[c.track].handler == d.handler) {
                noise(b, c.offset, c.size, true);
                kept.damaged.emplace_back(c.offset, c.offset + c.size);
            }
        }
        return b;
    case Damage::SmallMdat:
        break;
    }
    return b;
}

bool rawTrack(const Truth& t, const char* handler) {
    return std::any_of(t.tracks.begin(), t.tracks.end(), [&](const camlayout::TruthTrack& k) {
        return k.handler == handler && k.frameBytes > 0;
    });
}

// Bytes of the media that did not come back at all: what damage overwrote, with the rest
// of the samples it hit (unless they came back as they are now), and complete samples
// outside it that are missing. 1 % or more of the media lost is not a whole repair.
double lostShare(const Truth& t, const DamageCase& d, const Kept& kept,
                 const std::vector<TrackScore>& scores) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> hit = kept.damaged;
    if (d.kind == Damage::ZeroHead || d.kind == Damage::NoiseHead) {
        hit.emplace_back(0, d.size);
    }
    std::uint64_t all = 0, back = 0;
    for (const auto& [from, to] : hit) {
        all += to - from;
        for (const auto& track : t.tracks) {
            for (const auto& x :
                 track.frameBytes ? std::vector<camlayout::TruthSample>{} : track.samples) {
                const auto in = std::min(x.offset + x.size, to) - std::max(x.offset, from);
                all += x.offset < to && x.offset + x.size > from ? x.size - in : 0;
            }
        }
    }
    for (const auto& s : scores) {
        all += s.expectedBytes;
        back += s.recoveredBytes + s.extraBytes;
    }
    return all > back ? static_cast<double>(all - back) / static_cast<double>(all) : 0;
}

std::string damaged(const Truth& t, const std::string& original, const DamageCase& d, Kept& kept) {
    std::string b = damageMedia(t, readFile(original), d, kept);
    if (d.tail.planned > 0) {
        kept.cut = tailCutPoint(t, d.tail);
        appendZeroTail(t, d.tail, kept.cut, b);
    }
    return b;
}

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
    for (const auto& d : kCases) {
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
    const std::string stem = dir_ + "/" + k.name + "-" + std::to_string(&d - kCases);
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
