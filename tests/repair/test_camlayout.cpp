// The camera-layout fixture itself: for every kind, the laid-out recording plays in ffmpeg
// with the very pictures and sound of its content, its tables (read by the tests' own reader)
// hold each sample where the layout says, and its boxes, chunk cycle and metadata samples
// have the shape that camera writes. Repeated content (--min-bytes) stays playable.
#include "CameraScore.h"
#include "Check.h"
#include "Layout.h"
#include "MediaFixture.h"
#include "MetaSamples.h"
#include "MetaShape.h"
#include "MiniMoov.h"
#include "Process.h"

#include <filesystem>
#include <iostream>

namespace {

using camlayout::Truth;

struct LayoutCase {
    const char* kind;
    const char* before;                     // the box between ftyp and mdat ("" for none)
    bool largeMdat;                         // mdat with a 64-bit size
    const char* offsets;                    // stco or co64
    const char* firstChunk;                 // handler of the track whose chunk opens the mdat
    std::vector<std::uint64_t> soundFrames; // PCM frames of the first sound chunks
};

const LayoutCase kCases[] = {
    {"sony-avc", "uuid", true, "co64", "meta", {23040, 23040}},
    {"sony-hevc", "uuid", true, "co64", "meta", {48000}},
    {"canon", "wide", false, "stco", "tmcd", {1602, 1601, 1602, 1601, 1602, 1602}},
    {"nikon", "", false, "stco", "tmcd", {24000, 24000}},
    {"panasonic", "wide", false, "stco", "vide", {48000}},
    {"gopro", "free", false, "stco", "tmcd", {}},
    {"iphone", "wide", false, "stco", "vide", {}},
    {"dji", "free", false, "stco", "vide", {}},
    {"obs", "free", false, "stco", "vide", {}},
    {"dashcam-ulaw", "", false, "stco", "vide", {8000}},
    {"dashcam-aac", "", false, "stco", "soun", {}},
    {"prores", "wide", false, "stco", "tmcd", {1920, 1920, 1920}},
    {"mjpeg", "", false, "stco", "vide", {11025}},
    {"dv", "wide", false, "stco", "vide", {24000}},
    {"phone-3gp", "", false, "stco", "vide", {}},
    {"xdcam", "wide", false, "stco", "vide", {23040}},
    {"xdcam-ex", "", false, "stco", "vide", {48000}},
    {"camcorder-mp4v", "", false, "stco", "soun", {}},
    {"camcorder-ac3", "", false, "stco", "vide", {}},
    {"tv-eac3", "free", false, "stco", "soun", {}},
    {"apple-alac", "wide", false, "stco", "vide", {}},
    {"drone", "free", false, "stco", "vide", {}},
    {"drone-b", "", false, "stco", "soun", {}},
    {"phone-tc", "", false, "stco", "vide", {}},
    {"phone-meta2", "wide", false, "stco", "soun", {}},
};

std::string md5Of(const std::string& file, const std::string& map) {
    const auto r = runProgram({"ffmpeg", "-v", "error", "-i", file, "-map", map, "-fps_mode",
                               "passthrough", "-f", "md5", "-"});
    return r.status == 0 ? r.output : "failed: " + r.output;
}

class Run {
public:
    Run(Checks& c, std::string dir) : c_(c), dir_(std::move(dir)) {}
    void layoutCase(const LayoutCase& lc);
    void repeated();

private:
    void plays(const std::string& what, const std::string& content, const std::string& file,
               int audioStreams);
    void tables(const std::string& what, const Truth& truth, const std::string& file);
    void boxes(const LayoutCase& lc, const camlayout::CameraKind& k, const Truth& truth,
               const std::string& file);
    void metadata(const camlayout::CameraKind& k, const Truth& truth, const std::string& file);
    Checks& c_;
    std::string dir_;
};

void Run::plays(const std::string& what, const std::string& content, const std::string& file,
                int audioStreams) {
    const auto r =
        runProgram({"ffmpeg", "-v", "error", "-i", file, "-map", "0", "-f", "null", "-"});
    c_.expect(r.status == 0 && r.output.empty(), what + ": decodes without an error\n" + r.output);
    c_.equal(md5Of(file, "0:v"), md5Of(content, "0:v"), what + ": the content's pictures");
    for (int a = 0; a < audioStreams; ++a) {
        const std::string map = "0:a:" + std::to_string(a);
        c_.equal(md5Of(file, map), md5Of(content, map), what + ": the content's sound " + map);
    }
}

void Run::tables(const std::string& what, const Truth& truth, const std::string& file) {
    std::string error;
    const auto read = readTables(file, error);
    c_.expect(read && read->size() == truth.tracks.size(), what + ": tables read " + error);
    for (std::size_t i = 0; read && i < truth.tracks.size() && i < read->size(); ++i) {
        const auto& t = truth.tracks[i];
        const auto& r = (*read)[i];
        const std::string tw = what + " track " + std::to_string(t.id);
        c_.expect(tablesMatchTruth(t, r), tw + ": every sample where the layout put it");
        if (t.frameBytes) {
            // PCM frames as samples: one constant size, one stsc entry per change only.
            c_.equal(r.constantSize, t.frameBytes, tw + ": stsz size is the frame size");
            c_.expect(r.stscEntries <= r.chunks && r.stscEntries * 100 < r.samples.size(),
                      tw + ": stsc has at most an entry per chunk");
        }
    }
}

void Run::boxes(const LayoutCase& lc, const camlayout::CameraKind& k, const Truth& truth,
                const std::string& file) {
    const std::string what = lc.kind;
    const auto top = topBoxes(file);
    std::string order;
    for (const auto& b : top) {
        order += b.type + " ";
    }
    const std::string before = *lc.before ? std::string(lc.before) + " " : "";
    c_.equal(order, "ftyp " + before + "mdat moov ", what + ": top-level boxes");
    FileBytes bytes(file);
    const auto brand = bytes.read(8, 4);
    c_.equal(brand ? std::string(brand->begin(), brand->end()) : "", std::string(k.majorBrand),
             what + ": major brand");
    for (const auto& b : top) {
        if (b.type == "mdat") {
            c_.equal(b.header, lc.largeMdat ? 16u : 8u, what + ": mdat size field");
            c_.equal(b.offset, truth.mdatOffset, what + ": mdat where the truth says");
        }
    }
    std::string error;
    const auto read = readTables(file, error);
    for (std::size_t i = 0; read && i < read->size(); ++i) {
        c_.equal((*read)[i].offsetBox, std::string(lc.offsets), what + ": chunk offset box");
        if (k.tracks[i].role == camlayout::Role::Video) {
            c_.equal((*read)[i].hasStss, k.content.gop > 1, what + ": stss only with long GOPs");
            c_.equal((*read)[i].hasCtts, k.content.bframes > 0, what + ": ctts only with B-frames");
        }
    }
    c_.expect(!truth.chunks.empty() && truth.chunks[0].offset == truth.mdatData &&
                  truth.tracks[truth.chunks[0].track].handler == lc.firstChunk,
              what + ": the mdat opens with a " + lc.firstChunk + " chunk");
    std::vector<std::uint64_t> frames;
    for (const auto& t : truth.tracks) {
        for (std::size_t s = 0;
             t.frameBytes && s < t.samples.size() && frames.size() < lc.soundFrames.size(); ++s) {
            frames.push_back(t.samples[s].duration);
        }
    }
    c_.expect(frames == lc.soundFrames, what + ": PCM frames in the first sound chunks");
}

void Run::metadata(const camlayout::CameraKind& k, const Truth& truth, const std::string& file) {
    const std::string what = k.name;
    FileBytes bytes(file);
    for (std::size_t i = 0; i < truth.tracks.size(); ++i) {
        const auto& t = truth.tracks[i];
        const std::string tw = what + " " + t.fourcc + " track " + std::to_string(t.id);
        if (t.handler == "tmcd") {
            const auto v =
                t.samples.size() == 1 ? bytes.read(t.samples[0].offset, 4) : std::nullopt;
            const std::uint32_t frame =
                v ? (std::uint32_t{(*v)[0]} << 24) | ((*v)[1] << 16) | ((*v)[2] << 8) | (*v)[3] : 0;
            c_.expect(frame == truth.timecodeFrame && frame != 0,
                      tw + ": one sample, the start frame");
        }
        if (t.handler != "meta") {
            continue;
        }
        const auto keys = static_cast<std::uint32_t>(camlayout::mebxKeys(k.tracks[i].meta).size());
        std::size_t good = 0;
        std::size_t sizes = 0;
        std::vector<std::uint8_t> first;
        bool prefixSame = true;
        bool tailsDiffer = true;
        std::vector<std::uint8_t> last;
        for (const auto& s : t.samples) {
            const auto b = bytes.read(s.offset, s.size);
            if (!b) {
                continue;
            }
            good += wellFormedSample(t.fourcc, *b, keys) ? 1 : 0;
            sizes += s.size != t.samples[0].size ? 1 : 0;
            if (first.empty()) {
                first = *b;
            }
            prefixSame = prefixSame && std::equal(first.begin(), first.begin() + 16, b->begin());
            tailsDiffer = tailsDiffer && *b != last;
            last = *b;
        }
        c_.equal(good, t.samples.size(), tw + ": samples well formed");
        if (t.fourcc == "rtmd") {
            c_.expect(sizes == 0 && t.samples[0].size == camlayout::kRtmdBytes && prefixSame &&
                          tailsDiffer,
                      tw + ": fixed size, same first 16 bytes, the rest varying");
        } else {
            c_.expect(sizes > 0, tw + ": sample sizes vary");
        }
    }
}

void Run::layoutCase(const LayoutCase& lc) {
    const auto* k = camlayout::findKind(lc.kind);
    c_.expect(k != nullptr, std::string(lc.kind) + ": a kind of the table");
    if (!k) {
        return;
    }
    const std::string content = dir_ + "/" + lc.kind + ".content.mov";
    const std::string file = dir_ + "/" + lc.kind + ".laid";
    camlayout::ContentLook look;
    look.seconds = 2;
    Truth truth;
    bool made = runProgram(camlayout::contentArguments(*k, look, content)).status == 0;
    try {
        truth = camlayout::layOut(*k, camlayout::readContent(content), file);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        made = false;
    }
    c_.expect(made, std::string(lc.kind) + ": laid out");
    if (!made) {
        return;
    }
    std::cout << lc.kind << ": " << truth.fileSize << " bytes, " << truth.chunks.size()
              << " chunks\n";
    plays(lc.kind, content, file, k->content.audioEncoder ? k->content.audioStreams : 0);
    tables(lc.kind, truth, file);
    boxes(lc, *k, truth, file);
    metadata(*k, truth, file);
}

// Repeated content: times run on, the file reaches the size asked for and still plays.
void Run::repeated() {
    const auto* k = camlayout::findKind("sony-avc");
    const std::string content = dir_ + "/sony-avc.content.mov";
    const std::string file = dir_ + "/sony-avc.repeated";
    try {
        const auto c = camlayout::readContent(content);
        const auto once = camlayout::layOut(*k, c, file);
        camlayout::LayoutOptions options;
        options.minBytes = 3 * once.fileSize;
        const auto truth = camlayout::layOut(*k, c, file, options);
        c_.expect(truth.fileSize >= options.minBytes, "repeated: at least the size asked for");
        c_.equal(truth.tracks[0].samples.size() % once.tracks[0].samples.size(), std::size_t{0},
                 "repeated: whole copies of the content's pictures");
        const auto r =
            runProgram({"ffmpeg", "-v", "error", "-i", file, "-map", "0", "-f", "null", "-"});
        c_.expect(r.status == 0 && r.output.empty(), "repeated: decodes\n" + r.output);
        tables("repeated", truth, file);
    } catch (const std::exception& e) {
        c_.expect(false, std::string("repeated: ") + e.what());
    }
}

} // namespace

int main() {
    Checks c;
    const std::string dir = makeTempDir("kestrel-camlayout");
    c.expect(!dir.empty(), "temporary folder");
    c.equal(std::size(kCases), camlayout::cameraKinds().size(), "every kind has a case");
    Run run(c, dir);
    for (const auto& lc : kCases) {
        run.layoutCase(lc);
    }
    run.repeated();
    if (std::getenv("KEEP_REPAIR_FILES") == nullptr) {
        std::filesystem::remove_all(dir);
    }
    return c.finish();
}
