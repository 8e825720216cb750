#include "Options.h"

#include "box/RepairError.h"
#include "codec/Codec.h"

#include <algorithm>
#include <charconv>

namespace repair {
namespace {

struct NumericOption {
    const char* name;
    int Options::*field;
    int min;
    int max;
};

constexpr NumericOption kNumeric[] = {
    {"--gopm", &Options::gopMask, 1, 10000},          {"--gopl", &Options::gopLoop, 1, 10000},
    {"--smpltrk", &Options::samplesPerChunk, 0, 100}, {"--h264alg", &Options::h264Level, 10, 12},
    {"--aacgg", &Options::aacLowGain, 0, 127},
};

[[noreturn]] void usage(const std::string& reason) {
    throw RepairError(ExitCode::Usage, reason + " (see --help)");
}

int parseValue(const NumericOption& opt, const std::string& text) {
    int v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end) {
        usage(std::string(opt.name) + " needs a whole number, not '" + text + "'");
    }
    if (v < opt.min || v > opt.max) {
        usage(std::string(opt.name) + " must be between " + std::to_string(opt.min) + " and " +
              std::to_string(opt.max));
    }
    return v;
}

bool takeFlag(Options& o, const std::string& a) {
    if (a == "--uverbose") {
        o.verbose = true;
    } else if (a == "--ffverbose") {
        o.ffVerbose = true;
    } else if (a == "--keeptmp") {
        o.keepTmp = true;
    } else if (a == "--help" || a == "-h") {
        o.help = true;
    } else {
        return false;
    }
    return true;
}

// "--name value" or "--name=value"; returns how many arguments were used (0: not numeric).
int takeNumeric(Options& o, const std::vector<std::string>& args, std::size_t i) {
    const std::string& a = args[i];
    for (const auto& opt : kNumeric) {
        const std::string name = opt.name;
        if (a == name) {
            if (i + 1 >= args.size()) {
                usage(name + " needs a value");
            }
            o.*opt.field = parseValue(opt, args[i + 1]);
            return 2;
        }
        if (a.rfind(name + "=", 0) == 0) {
            o.*opt.field = parseValue(opt, a.substr(name.size() + 1));
            return 1;
        }
    }
    return 0;
}

// "--fps 29.97" or "--fps=25"; returns how many arguments were used (0: not --fps).
int takeFps(Options& o, const std::vector<std::string>& args, std::size_t i) {
    constexpr double kMaxFps = 1000;
    const std::string& a = args[i];
    const bool joined = a.rfind("--fps=", 0) == 0;
    if (a != "--fps" && !joined) {
        return 0;
    }
    if (!joined && i + 1 >= args.size()) {
        usage("--fps needs a value");
    }
    const std::string text = joined ? a.substr(6) : args[i + 1];
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, o.fps);
    if (text.empty() || ec != std::errc() || ptr != end || !(o.fps > 0 && o.fps <= kMaxFps)) {
        usage("--fps needs a frame rate above 0 and up to 1000, not '" + text + "'");
    }
    return joined ? 1 : 2;
}

// A codec family a line (longer entry lists wrap under themselves), from the registry, so
// that the help never leaves one out.
std::string codecList() {
    constexpr std::size_t kEntriesAt = 27;
    constexpr std::size_t kWidth = 88;
    std::string list;
    for (const CodecFamily* f : codecFamilies()) {
        std::string line = "  " + std::string(f->kind);
        line.resize(9, ' ');
        line += f->name;
        line.resize(std::max(line.size() + 2, kEntriesAt), ' ');
        const std::string entries = f->entries;
        for (std::size_t at = 0, end = 0; at < entries.size(); at = end + 1) {
            end = std::min(entries.find(' ', at), entries.size());
            if (line.size() > kEntriesAt && line.size() + (end - at) >= kWidth) {
                list += line.substr(0, line.size() - 1) + "\n";
                line.assign(kEntriesAt, ' ');
            }
            line += entries.substr(at, end - at) + " ";
        }
        list += line.substr(0, line.size() - 1) + "\n";
    }
    return list;
}

} // namespace

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size();) {
        const std::string& a = args[i];
        if (takeFlag(o, a)) {
            ++i;
        } else if (const int used = takeNumeric(o, args, i)) {
            i += static_cast<std::size_t>(used);
        } else if (const int fps = takeFps(o, args, i)) {
            i += static_cast<std::size_t>(fps);
        } else if (a.size() > 1 && a[0] == '-') {
            usage("unknown option " + a);
        } else {
            files.push_back(a);
            ++i;
        }
    }
    if (o.help) {
        return o;
    }
    if (files.empty() || files.size() > 2) {
        usage(files.empty() ? "no reference file given" : "too many file names");
    }
    o.reference = files[0];
    if (files.size() == 2) {
        o.broken = files[1];
    }
    return o;
}

std::string helpText() {
    return "Usage: untrunc-w [options] <workingfile.mp4> [<brokenfile.mp4>]\n"
           "       untrunc-w [options] <faststart-or-fragmented-file.mp4>\n"
           "\n"
           "Repairs an MP4/MOV recording that was cut off before its index (moov) was written,\n"
           "using a working file recorded by the same device with the same settings.\n"
           "Every track of the working file is recovered; these are the codecs it knows (kind,\n"
           "name, sample entries):\n" +
           codecList() +
           "The result is written next to the broken file as '<brokenfile.mp4>_untrunc.mp4'.\n"
           "It takes that name only when whole, in one rename, so a half-written result never\n"
           "carries it (of runs at the same time, the last one wins). The broken file is never\n"
           "changed. Both inputs must be regular files (not a directory, FIFO or device).\n"
           "A broken file whose own index (moov) lies whole before its media data (a \"fast\n"
           "start\" file cut inside its media) is repaired from that index instead: every\n"
           "sample that is complete comes back with its real timing, and the working file is\n"
           "not needed. So is a fragmented file (a moov with mvex, then moof + mdat pairs, as\n"
           "screen recorders, dashcams and browsers write): every sample whole before the cut\n"
           "comes back as its fragments describe it, in a plain MP4/MOV. An index followed by\n"
           "media it does not list (a recorder that rewrites its index now and then, cut off)\n"
           "serves as the working file for all of the media. Given alone, such a file is\n"
           "repaired when it is fragmented, its index lists samples it does not hold whole or\n"
           "media follows what it lists; any other single file with an index is described and\n"
           "nothing is written. A fragmented working file is read from its fragments.\n"
           "A single file with no index at all (cut off before its moov was written) is\n"
           "repaired from its media alone when its H.264/HEVC stream repeats its parameter\n"
           "sets (SPS/PPS, HEVC VPS/SPS/PPS) before keyframes, as most dashcams, action\n"
           "cameras and drones do: picture size and frame rate come from them, the chunk\n"
           "layout from the first part of the media, and the sound between the video chunks\n"
           "is told from its bytes (AC-3/E-AC-3; AAC-LC whose frames parse under one\n"
           "configuration and keep time with the video; PCM whose format is inferred from its\n"
           "amount against the video's time). Sound told by none of these is dropped (status\n"
           "6). H.264 without parameter sets in its stream has them inferred from its first\n"
           "pictures (at most 10 s). The summary's first line says what was inferred. HEVC\n"
           "without parameter sets needs a working file: status 2.\n"
           "\n"
           "Options:\n"
           "  --uverbose        Print every detail: the working file's tracks, a line per chunk\n"
           "                    found (track, offset, samples, bytes) and the walk's figures.\n"
           "  --ffverbose       Show FFmpeg's messages at AV_LOG_INFO level (hidden otherwise).\n"
           "  --keeptmp         When the repair fails, keep what it wrote as\n"
           "                    '<brokenfile.mp4>_untrunc.mp4.tmp'.\n"
           "  --gopm n          Accepted for compatibility (1..10000); the chunk layout is learnt\n"
           "  --gopl n          from the whole working file instead.\n"
           "  --smpltrk n       Accepted for compatibility (0..100); likewise.\n"
           "  --h264alg n       H.264/HEVC sample recognition: 10 = length prefix and NAL header,\n"
           "                    11 = also slice headers and parameter sets, 12 = also what\n"
           "                    follows each NAL unit (default 12).\n"
           "  --aacgg n         For 1-channel AAC: a frame start whose global_gain is below n\n"
           "                    counts as audio only after it decodes (0..127, default 80).\n"
           "  --fps n           Frame rate of video repaired without an index or working file,\n"
           "                    when its stream gives none (e.g. 25, 29.97); otherwise the\n"
           "                    usual rate that fits the sound, else 30 (said in the summary).\n"
           "  --help            Show this text.\n"
           "\n"
           "Samples are recognised by their content where they have any (video, AAC, metadata\n"
           "with telling bytes or lengths that add up) and placed by the working file's chunk\n"
           "layout where they have none (PCM, timecode, opaque data between recognised\n"
           "samples); every such guess is checked against what follows it. A sample that\n"
           "checks itself (slice headers, a CRC, lengths that add up) outweighs one a decoder\n"
           "merely accepts (AAC): weak evidence never overrules strong evidence and the layout.\n"
           "\n"
           "Files whose head is missing or garbled, with damaged stretches inside the media, or\n"
           "with several or mis-sized mdat boxes are repaired as far as the tracks are\n"
           "recognised: damage is passed over and the tracks keep their times across it, the\n"
           "pictures lost counted from the video's own picture order counts.\n"
           "Zeros that fill a preallocated file after its media are not media: it ends where\n"
           "they start, and they count neither in the result nor in the share accounted for.\n"
           "\n"
           "Every run ends with a summary to read at a glance: per track its kind, codec and\n"
           "figures (\"video: H.264 High 1920×1080 29.97 fps, 4 min 12.5 s (7,566 frames)\"),\n"
           "each damaged stretch passed over with the time it took from each kind of track,\n"
           "and the outcome in one line. Damaged stretches count as lost. A repair that\n"
           "accounts for less than 99 % of the media data up to the cut, whose tracks end out\n"
           "of step with the video, or with pictures checked at a track's ends that do not\n"
           "decode, still writes its result, exits with status 6 and says on its last line\n"
           "where recognition stopped and why. From the file's own index (a fast-start file\n"
           "cut inside its media), status 6 when a track kept less than 99 % of its complete\n"
           "samples. A broken file that is whole (its boxes reach the end of the file and its\n"
           "own index lists only samples it holds) is not repaired: status 2, and when the\n"
           "working file has no index, the two were most likely given the wrong way round.\n"
           "\n"
           "Before a result is written, each track's first and last pictures (and a few sound\n"
           "frames at either end) are decoded with the reference's sample description. When none\n"
           "of them decode, or the pictures' own parameter sets describe another picture size or\n"
           "profile, the reference is from another camera or setting: status 7, and the last\n"
           "line names what the broken file holds against what the reference describes.\n"
           "\n"
           "Exit status: 0 repaired, 1 usage, 2 unreadable or invalid input, 3 unsupported\n"
           "codec, 4 no media found, 5 output not writable, 6 partial repair (result written),\n"
           "7 the broken file does not fit the reference (nothing written).\n";
}

} // namespace repair
