// Fragmented recordings (moov with mvex, then moof + mdat pairs) cut anywhere, repaired from
// their own fragments: every packet whole before the cut comes back bit-exact with its times
// and key flag, nothing else, in a plain file that starts and lasts as the original did. Only
// the empty moov: no media (4). A zeroed moof or overwritten trun: its media data is walked.
// A fragmented recording also serves as the reference for a plain one.
#include "Check.h"
#include "MediaFixture.h"
#include "MiniMoov.h"
#include "Process.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct Form {
    const char* name;
    const char* ext;
    std::vector<std::string> args;     // audio codec and muxer options
    const char* secondSound = nullptr; // a lavfi source for a second sound track
    std::uint32_t late = 0;            // added to every tfdt: the tracks start late
    bool walkable = true;              // a fragment's samples can be told without its moof
};

const Form kForms[] = {
    {"frag_keyframe", "mp4", {"-c:a", "aac", "-movflags", "+frag_keyframe+empty_moov"}},
    {"default_base_moof",
     "mp4",
     {"-c:a", "aac", "-movflags", "+frag_keyframe+empty_moov+default_base_moof"}},
    {"frag_duration",
     "mp4",
     {"-c:a", "aac", "-movflags", "+empty_moov", "-frag_duration", "200000"}},
    {"opus",
     "mp4",
     {"-c:a", "libopus", "-movflags", "+frag_keyframe+empty_moov"},
     nullptr,
     0,
     false},
    {"pcm in mov",
     "mov",
     {"-c:a", "pcm_s16le", "-f", "mov", "-movflags", "+frag_keyframe+empty_moov"}},
    {"two sounds",
     "mp4",
     {"-map", "0", "-map", "1", "-map", "2", "-c:a", "aac", "-movflags",
      "+frag_keyframe+empty_moov"},
     "anoisesrc=sample_rate=44100:amplitude=0.3"},
    {"late start",
     "mp4",
     {"-c:a", "aac", "-movflags", "+frag_keyframe+empty_moov"},
     nullptr,
     153600},
};

// ClosingMoov: a hybrid recording (fragments closed by a whole moov when it stops normally)
// cut inside that moov.
// ZeroedMoof and BadTrun damage the third moof of the whole file, ZeroedFirst the first:
// nothing before it teaches a walk, so its samples are lost and the run says so.
enum class CutAt {
    InsideMoof,
    InsideMdat,
    BetweenFragments,
    ClosingMoov,
    OnlyMoov,
    ZeroedMoof,
    BadTrun,
    ZeroedFirst
};

struct Cut {
    const char* name;
    CutAt at;
    int status;
};

const Cut kCuts[] = {
    {"inside a moof", CutAt::InsideMoof, 0},
    {"inside an mdat", CutAt::InsideMdat, 0},
    {"between fragments", CutAt::BetweenFragments, 0},
    {"in the closing moov", CutAt::ClosingMoov, 0},
    {"only the empty moov", CutAt::OnlyMoov, 4},
    {"zeros over a moof", CutAt::ZeroedMoof, 0},
    {"a trun overwritten", CutAt::BadTrun, 0},
    {"zeros over moof 1", CutAt::ZeroedFirst, 6},
};

// One packet as ffprobe shows it: everything but its place in the file is compared.
struct Probed {
    std::string key; // stream, pts, dts, size, flags, MD5 of the data
    std::uint64_t end = 0;
    double shownStart = 0, shownEnd = 0; // pts (+ duration) in seconds
    std::size_t stream = 0;
    long long dts = 0;
    bool sync = false;
};

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> f;
    std::stringstream in(line);
    for (std::string s; std::getline(in, s, ',');) {
        f.push_back(s);
    }
    return f;
}

std::vector<Probed> probePackets(const std::string& path) {
    const RunResult r =
        runProgram({"ffprobe", "-v", "error", "-show_data_hash", "MD5", "-show_entries",
                    "packet=stream_index,pts,dts,pts_time,duration_time,size,pos,"
                    "flags,data_hash",
                    "-of", "csv=p=0", path});
    std::vector<Probed> out;
    std::stringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        // stream_index,pts,pts_time,dts,duration_time,size,pos,flags,data_hash
        const auto f = split(line);
        if (f.size() != 9) {
            continue;
        }
        Probed p;
        p.key = f[0] + "," + f[1] + "," + f[3] + "," + f[5] + "," + f[7] + "," + f[8];
        p.end = std::strtoull(f[6].c_str(), nullptr, 10) + std::strtoull(f[5].c_str(), nullptr, 10);
        p.shownStart = std::atof(f[2].c_str());
        p.shownEnd = p.shownStart + std::atof(f[4].c_str());
        p.stream = std::strtoul(f[0].c_str(), nullptr, 10);
        p.dts = std::atoll(f[3].c_str());
        p.sync = f[7][0] == 'K';
        out.push_back(p);
    }
    return out;
}

std::vector<std::string> keys(const std::vector<Probed>& packets, std::uint64_t cut) {
    std::vector<std::string> out;
    for (const auto& p : packets) {
        if (p.end <= cut) {
            out.push_back(p.key);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::uint64_t cutPoint(const std::vector<TopBox>& top, CutAt at) {
    std::vector<const TopBox*> moofs, mdats;
    for (const auto& b : top) {
        if (b.type == "moof") {
            moofs.push_back(&b);
        } else if (b.type == "mdat") {
            mdats.push_back(&b);
        }
    }
    if (moofs.size() < 4 || mdats.size() < 4) {
        return 0;
    }
    switch (at) {
    case CutAt::InsideMoof:
        return moofs[2]->offset + moofs[2]->size / 2;
    case CutAt::InsideMdat:
        return mdats[2]->offset + mdats[2]->size * 3 / 5;
    case CutAt::BetweenFragments:
    case CutAt::ClosingMoov:
        return moofs[3]->offset;
    case CutAt::OnlyMoov:
        return moofs[0]->offset;
    case CutAt::ZeroedMoof:
    case CutAt::BadTrun:
    case CutAt::ZeroedFirst:
        return top.back().offset + top.back().size;
    }
    return 0;
}

// Edits a file in memory: damage, or times moved.
template <typename Edit> bool rewrite(const std::string& path, Edit edit) {
    std::string bytes = readFile(path);
    edit(bytes);
    return !bytes.empty() && writeFile(path, bytes);
}

// Every tfdt after the moov (version 1, as ffmpeg writes them) moved `by` later.
void startLate(std::string& b, std::uint32_t by) {
    for (auto at = b.find("tfdt", b.find("moof")); at != std::string::npos && at + 16 <= b.size();
         at = b.find("tfdt", at + 4)) {
        std::uint32_t t = 0;
        for (int i = 12; i < 16; ++i) {
            t = t << 8 | static_cast<std::uint8_t>(b[at + i]);
        }
        putBe(b, at + 12, t + by, 4);
    }
}

// The third moof zeroed, or its first trun's entries overwritten.
void damageMoof(std::string& b, const TopBox& moof, CutAt how) {
    const auto trun = b.find("trun", moof.offset);
    if (how != CutAt::BadTrun) {
        std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(moof.offset), moof.size, '\0');
    } else if (trun + 52 < moof.offset + moof.size) {
        std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(trun + 12), 40, '\xff');
    }
}

bool encode(const std::string& path, const Form& form) {
    std::vector<std::string> argv{
        "ffmpeg", "-v",    "error", "-y",
        "-f",     "lavfi", "-i",    "testsrc2=size=320x240:rate=30",
        "-f",     "lavfi", "-i",    "sine=frequency=440:sample_rate=48000"};
    if (form.secondSound) {
        argv.insert(argv.end(), {"-f", "lavfi", "-i", form.secondSound});
    }
    argv.insert(argv.end(), {"-t", "4", "-c:v", "libx264", "-g", "15", "-bf", "2"});
    argv.insert(argv.end(), form.args.begin(), form.args.end());
    argv.push_back(path);
    return runProgram(argv).status == 0 &&
           (form.late == 0 || rewrite(path, [&](std::string& b) { startLate(b, form.late); }));
}

// The result decodes without a word from ffprobe, starts when what came back starts and
// ends when it ends (a movie's duration counts from 0, an empty edit included).
void checkResult(Checks& c, const std::string& what, const std::string& result,
                 const std::vector<Probed>& kept) {
    const RunResult probe = runProgram({"ffprobe", "-v", "error", "-show_entries",
                                        "format=start_time,duration", "-of", "csv=p=0", result});
    double end = 0, start = kept.empty() ? 0 : kept.front().shownStart;
    for (const auto& p : kept) {
        end = std::max(end, p.shownEnd);
        start = std::min(start, p.shownStart);
    }
    const auto f = split(probe.output);
    const double gotStart = f.size() == 2 ? std::atof(f[0].c_str()) : -1;
    const double duration = f.size() == 2 ? std::atof(f[1].c_str()) : -1;
    c.expect(probe.status == 0 &&
                 probe.output.find_first_not_of("0123456789.,\n") == std::string::npos,
             what + ": ffprobe reads the result without error\n" + probe.output);
    c.expect(std::abs(gotStart - start) <= 0.001 && std::abs(duration - end) <= 0.1,
             what + ": starts at " + std::to_string(gotStart) + ", lasts " +
                 std::to_string(duration) + " s, expected " + std::to_string(start) + " and " +
                 std::to_string(end));
}

// ffprobe finds H.264 key frames by itself when stss says none: the sync flags are read from
// the result's own tables, in decode order, against the original's fragments.
void checkSync(Checks& c, const std::string& what, const std::string& result,
               std::vector<Probed> kept) {
    std::string error;
    const auto tables = readTables(result, error);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const Probed& a, const Probed& b) { return a.dts < b.dts; });
    for (std::size_t t = 0; tables && t < tables->size(); ++t) {
        std::string want, got;
        for (const auto& p : kept) {
            want += p.stream == t ? (p.sync ? "K" : "_") : "";
        }
        for (const auto& s : (*tables)[t].samples) {
            got += s.sync ? "K" : "_";
        }
        c.expect(got == want, what + ": sync samples of track " + std::to_string(t + 1) + "\n" +
                                  got + "\n" + want);
    }
    c.expect(tables.has_value(), what + ": result tables read (" + error + ")");
}

void runForm(Checks& c, const std::string& dir, const Form& form) {
    const std::string original = dir + "/" + form.name + "." + form.ext;
    c.expect(encode(original, form), std::string(form.name) + ": recording made");
    const auto packets = probePackets(original);
    const auto top = topBoxes(original);
    const auto nth = [&](int k) {
        return std::find_if(top.begin(), top.end(), [&, n = 0](const TopBox& b) mutable {
            return b.type == "moof" && ++n == k;
        });
    };
    for (const auto& cut : kCuts) {
        const std::string what = std::string(form.name) + " / " + cut.name;
        const std::uint64_t at = cutPoint(top, cut.at);
        const std::string broken =
            dir + "/" + form.name + "-" + std::to_string(&cut - kCuts) + "." + form.ext;
        const auto moof = nth(cut.at == CutAt::ZeroedFirst ? 1 : 3);
        c.expect(at > 0 && moof + 1 < top.end() && cutCopy(original, broken, at),
                 what + ": broken file made");
        if (cut.at == CutAt::ClosingMoov) {
            std::ofstream(broken, std::ios::binary | std::ios::app)
                << std::string("\0\1\0\0moov\0\0\0\x6cmvhd", 16) << std::string(40, '\0');
        }
        const bool damaged = cut.at >= CutAt::ZeroedMoof;
        if (damaged) {
            rewrite(broken, [&](std::string& b) { damageMoof(b, *moof, cut.at); });
        }
        const RunResult r = runProgram({UNTRUNC_W, broken});
        c.equal(r.status, damaged && !form.walkable ? 6 : cut.status,
                what + ": exit status\n" + r.output);
        const std::string result = broken + "_untrunc.mp4";
        // Whole before the cut; not in the damaged fragment (nor, when it was the first, the
        // pictures before the next key frame, which cannot be decoded).
        std::vector<Probed> kept, others;
        const std::uint64_t after = moof[1].offset + moof[1].size;
        long long key = cut.at == CutAt::ZeroedFirst ? LLONG_MAX : LLONG_MIN;
        for (const auto& p : packets) {
            key = p.stream == 0 && p.sync && p.end > after ? std::min(key, p.dts) : key;
        }
        for (const auto& p : packets) {
            const bool hit = damaged && p.end > moof[1].offset &&
                             (p.end <= after || (p.stream == 0 && p.dts < key));
            if (p.end <= at) {
                kept.push_back(p);
                hit ? void() : others.push_back(p);
            }
        }
        const auto want = keys(kept, at);
        const auto got = fs::exists(result) ? keys(probePackets(result), UINT64_MAX)
                                            : std::vector<std::string>{};
        if (cut.status == 4) {
            c.expect(!fs::exists(result) &&
                         r.output.find("cut before its first fragment") != std::string::npos,
                     what + ": says why, writes nothing\n" + r.output);
            continue;
        }
        // A partial repair of a damaged fragment: every other packet back, none altered.
        const auto partOf = [](const std::vector<std::string>& a,
                               const std::vector<std::string>& b) {
            return std::includes(b.begin(), b.end(), a.begin(), a.end());
        };
        c.expect(r.status == 6 ? partOf(keys(others, at), got) && partOf(got, want) : got == want,
                 what + ": exactly the " + std::to_string(want.size()) +
                     " packets whole before the cut, bit-exact, with their times and key flags; " +
                     std::to_string(got.size()) + " back");
        std::erase_if(kept, [&](const Probed& p) {
            return !std::binary_search(got.begin(), got.end(), p.key);
        });
        checkResult(c, what, result, kept);
        checkSync(c, what, result, kept);
    }
}

// A plain recording cut off, with a fragmented recording of the same camera as reference.
void fragmentedReference(Checks& c, const std::string& dir) {
    const Recording camera = {"camera", 15, 2, 48000, 1};
    const std::string plain = dir + "/plain.mp4", other = dir + "/other.mp4";
    const std::string ref = dir + "/ref-fragmented.mp4", broken = dir + "/plain-cut.mp4";
    bool ok = makeRecording(plain, camera, "testsrc2", 1, 4.0) &&
              makeRecording(other, camera, "testsrc", 2, 3.0) &&
              runProgram({"ffmpeg", "-v", "error", "-y", "-i", other, "-c", "copy", "-movflags",
                          "+frag_keyframe+empty_moov", ref})
                      .status == 0;
    ok = ok && cutCopy(plain, broken, fs::file_size(plain) * 2 / 3);
    c.expect(ok, "fragmented reference: recordings made");
    const RunResult r = runProgram({UNTRUNC_W, ref, broken});
    const auto got = probePackets(broken + "_untrunc.mp4");
    const auto want = keys(probePackets(plain), fs::file_size(broken));
    c.equal(r.status, 0, "fragmented reference: exit status\n" + r.output);
    c.expect(got.size() * 100 >= want.size() * 99,
             "fragmented reference: 99 % of the packets whole before the cut come back, " +
                 std::to_string(got.size()) + " of " + std::to_string(want.size()));
}

} // namespace

int main() {
    return inTempDir("kestrel-fragments", [](Checks& c, const std::string& dir) {
        for (const auto& form : kForms) {
            runForm(c, dir, form);
        }
        fragmentedReference(c, dir);
    });
}
