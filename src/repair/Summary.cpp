#include "Summary.h"

#include "CodecNames.h"
#include "Describe.h"
#include "box/Box.h"
#include "box/Endian.h"
#include "codec/EntryFields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>

namespace repair {
namespace {

// Damaged stretches listed one by one; the rest are told together.
constexpr std::size_t kStretchLines = 10;

// "7,566"
std::string thousands(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string s;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        s += (i > 0 && (digits.size() - i) % 3 == 0) ? "," : "";
        s += digits[i];
    }
    return s;
}

std::string printed(const char* format, double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// "4 min 12.5 s", "1 h 2 min 3 s", "0.04 s"; `decimals` of a second (0 or 1), two below one.
std::string spokenTime(double seconds, int decimals) {
    if (seconds < 1 && decimals > 0) {
        return printed("%.2f s", seconds);
    }
    const double scale = decimals > 0 ? 10.0 : 1.0;
    const double rounded = std::round(seconds * scale) / scale;
    const auto whole = static_cast<std::uint64_t>(rounded);
    const double rest = rounded - static_cast<double>(whole / 60 * 60);
    std::string s;
    if (whole >= 3600) {
        s = std::to_string(whole / 3600) + " h ";
    }
    if (whole >= 60) {
        s += std::to_string(whole / 60 % 60) + " min ";
    }
    return s + printed(decimals > 0 ? "%.1f s" : "%.0f s", rest);
}

// "2.1 MB": decimal units, as file managers show sizes.
std::string spokenBytes(std::uint64_t n) {
    const char* units[] = {"kB", "MB", "GB", "TB"};
    if (n < 1000) {
        return thousands(n) + " bytes";
    }
    double v = static_cast<double>(n) / 1000;
    std::size_t u = 0;
    for (; v >= 1000 && u + 1 < std::size(units); ++u) {
        v /= 1000;
    }
    return printed("%.1f ", v) + units[u];
}

double seconds(const TrackOut& t) {
    return t.ref->timescale == 0 ? 0.0
                                 : static_cast<double>(t.tables.duration()) / t.ref->timescale;
}

// "29.97 fps", "25 fps"
std::string frameRate(const RefTrack& r) {
    if (r.sampleDuration == 0) {
        return "";
    }
    const double fps = static_cast<double>(r.timescale) / r.sampleDuration;
    return printed(std::abs(fps - std::round(fps)) < 0.005 ? " %.0f fps" : " %.2f fps", fps);
}

std::string soundFigures(const RefTrack& r) {
    std::string s;
    const double rate = r.sound && r.sound->sampleRate > 0 ? r.sound->sampleRate : r.timescale;
    if (rate > 0) {
        s += printed(" %g kHz", rate / 1000);
    }
    if (r.sound && r.sound->channels > 0) {
        s += " " + std::to_string(r.sound->channels) + " ch";
    }
    const std::string bits = pcmBits(r);
    return s + (bits.empty() ? "" : " " + bits);
}

// The first timecode sample, a frame number, told as hours:minutes:seconds:frames by the
// sample entry's frames a second (its 'drop frame' flag skipping the frame numbers NTSC
// drops); empty when it cannot be read.
std::string timecodeValue(const RefTrack& r, const TrackOut& t, const ByteSource& file) {
    constexpr std::size_t kFlags = 36, kFrames = 48; // in the stsd, its header included
    const std::uint32_t size = t.tables.fixedSize       ? t.tables.fixedSize
                               : t.tables.sizes.empty() ? 0
                                                        : t.tables.sizes.front();
    std::uint8_t b[4] = {};
    if (size != 4 || t.tables.chunkOffsets.empty() || r.stsd.size() <= kFrames ||
        file.read(t.tables.chunkOffsets.front(), b, 4) != 4 || r.stsd[kFrames] == 0) {
        return "";
    }
    const std::uint64_t fps = r.stsd[kFrames];
    const bool drop = (be32(r.stsd.data() + kFlags) & 1) != 0 && fps % 30 == 0;
    std::uint64_t frame = be32(b);
    if (drop) {
        const std::uint64_t skip = fps / 15, perMinute = fps * 60 - skip;
        const std::uint64_t per10 = fps * 600 - 9 * skip, rest = frame % per10;
        frame +=
            9 * skip * (frame / per10) + (rest > skip ? skip * ((rest - skip) / perMinute) : 0);
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, " %02llu:%02llu:%02llu%c%02llu",
                  static_cast<unsigned long long>(frame / (fps * 3600)),
                  static_cast<unsigned long long>(frame / (fps * 60) % 60),
                  static_cast<unsigned long long>(frame / fps % 60), drop ? ';' : ':',
                  static_cast<unsigned long long>(frame % fps));
    return buf;
}

std::string kindOf(const RefTrack& r) {
    if (isVideoHandler(r.handler)) {
        return "video";
    }
    if (r.handler == fourcc("soun")) {
        return "sound";
    }
    return r.handler == fourcc("tmcd") || r.codec == fourcc("tmcd") ? "timecode" : "metadata";
}

std::string trackLine(const RefTrack& r, const TrackOut* t, const ByteSource& file) {
    const std::string kind = kindOf(r);
    std::string line = kind;
    if (kind == "video") {
        line += ": " + codecName(r);
        if (const auto p = pictureSize(r); p && p->width > 0 && p->height > 0) {
            line += " " + std::to_string(p->width) + "×" + std::to_string(p->height);
        }
        line += frameRate(r);
    } else if (kind == "sound") {
        line += ": " + codecName(r) + soundFigures(r);
    } else if (kind == "metadata") {
        line += " " + typeName(r.codec);
    }
    if (!r.fault.empty() || !t) {
        return line + (r.fault.empty() ? ", nothing came back" : ", left out");
    }
    if (kind == "timecode") {
        return line + timecodeValue(r, *t, file);
    }
    if (kind == "metadata") {
        return line + ", " + thousands(t->tables.sampleCount) + " samples";
    }
    line += ", " + spokenTime(seconds(*t), 1);
    return kind == "video" ? line + " (" + thousands(t->tables.sampleCount) + " frames)" : line;
}

// The seconds each kind of track lost at each stretch: a track's gap goes with the stretch
// whose time lies nearest to its own.
std::vector<std::map<std::string, double>> lostAt(const Reference& ref, const WalkResult& walk) {
    std::vector<std::map<std::string, double>> lost(walk.damage.size());
    for (std::size_t i = 0; i < walk.tracks.size() && !walk.damage.empty(); ++i) {
        const RefTrack& r = ref.tracks[i];
        if (r.timescale == 0 || r.sampleDuration == 0 || kindOf(r) == "timecode") {
            continue;
        }
        const double per = static_cast<double>(r.sampleDuration) / r.timescale;
        std::uint64_t before = 0;
        for (const auto& [after, n] : walk.tracks[i].gaps) {
            const double at = static_cast<double>(after + before) * per;
            const auto near = std::min_element(walk.damage.begin(), walk.damage.end(),
                                               [at](const auto& x, const auto& y) {
                                                   return std::abs(x.at - at) < std::abs(y.at - at);
                                               });
            lost[static_cast<std::size_t>(near - walk.damage.begin())][kindOf(r)] +=
                static_cast<double>(n) * per;
            before += n;
        }
    }
    return lost;
}

// ": 0.5 s of video and 0.5 s of sound lost"; empty when nothing was.
std::string lostWords(const std::map<std::string, double>& lost) {
    std::string what;
    for (const char* kind : {"video", "sound", "metadata"}) {
        if (const auto s = lost.find(kind); s != lost.end() && s->second > 0) {
            what += (what.empty() ? "" : " and ") + spokenTime(s->second, 1) + " of " + kind;
        }
    }
    return what.empty() ? "" : ": " + what + " lost";
}

} // namespace

void summarizeTracks(const Reference& ref, const std::vector<TrackOut>& tracks,
                     const ByteSource& file, std::ostream& out) {
    for (const auto& r : ref.tracks) {
        const auto t = std::find_if(tracks.begin(), tracks.end(),
                                    [&r](const TrackOut& o) { return o.ref == &r; });
        out << trackLine(r, t == tracks.end() ? nullptr : &*t, file) << "\n";
    }
}

void summarizeDamage(const Reference& ref, const WalkResult& walk, std::ostream& out) {
    const auto lost = lostAt(ref, walk);
    std::uint64_t restBytes = 0;
    std::map<std::string, double> restLost;
    for (std::size_t k = 0; k < walk.damage.size(); ++k) {
        const DamagedStretch& d = walk.damage[k];
        if (k < kStretchLines) {
            out << "a damaged stretch of " << spokenBytes(d.bytes)
                << (k == 0 && d.at == 0 ? " at the start" : " at " + spokenTime(d.at, 0))
                << lostWords(lost[k]) << "\n";
            continue;
        }
        restBytes += d.bytes;
        for (const auto& [kind, seconds] : lost[k]) {
            restLost[kind] += seconds;
        }
    }
    if (walk.damage.size() > kStretchLines) {
        out << "and " << thousands(walk.damage.size() - kStretchLines)
            << " more damaged stretches, " << spokenBytes(restBytes) << " together"
            << lostWords(restLost) << "\n";
    }
    if (walk.zeroTail > 0) {
        out << "a zero tail of " << spokenBytes(walk.zeroTail)
            << " after the media left out: the camera preallocated it, it holds no media\n";
    }
}

void summarizeOutcome(const std::vector<TrackOut>& tracks, bool damaged, const std::string& partial,
                      std::ostream& out) {
    double longest = 0;
    for (const auto& t : tracks) {
        if (t.tables.sampleCount > 1) {
            longest = std::max(longest, seconds(t));
        }
    }
    out << "outcome: ";
    if (!partial.empty()) {
        out << "partial — " << partial << "\n";
    } else if (damaged) {
        out << "repaired (" << spokenTime(longest, 1) << "), but for what the damage held\n";
    } else {
        out << "the whole recording is back (" << spokenTime(longest, 1) << ")\n";
    }
}

std::string spokenShare(double share) {
    const std::string s = describeShare(share);
    return s.substr(0, s.size() - 1) + " %";
}

void summarizeStaleIndex(const Reference& own, const WalkResult& walk, std::ostream& out) {
    std::uint64_t listed = 0, found = 0;
    for (std::size_t i = 0; i < own.tracks.size() && i < walk.tracks.size(); ++i) {
        listed += own.tracks[i].sampleCount;
        found += walk.tracks[i].samples;
    }
    out << "index: the file's own moov lists " << listed
        << " samples, written before recording went on; with its tracks as the reference, the "
           "walk found "
        << (found > listed ? found - listed : 0) << " more after them\n";
}

} // namespace repair
