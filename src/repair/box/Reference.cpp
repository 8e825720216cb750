#include "box/Reference.h"

#include "box/Box.h"
#include "box/CopiedBoxes.h"
#include "box/Endian.h"
#include "box/Headers.h"
#include "box/RefFragments.h"
#include "box/RefTables.h"
#include "box/RepairError.h"
#include "box/SampleEntry.h"

namespace repair {
namespace {

// A moov beyond this is not a camera recording's; refusing it bounds memory.
constexpr std::size_t kMaxMoovBytes = 256u << 20;
// Samples a codec may learn from.
constexpr std::size_t kLearnSamples = 256;

using Bytes = std::vector<std::uint8_t>;

// What reading the moov keeps track of besides the tracks.
struct MoovRead {
    Reference& ref;
    const ByteSource& src;
    CopyBudget budget;
    std::string fault; // of the track being read: the first reason to leave it out

    // Adds the box to `to` when it is fit to copy; says why not, when it is not.
    void copy(const BoxHeader& box, CopiedFrom parent, std::vector<Bytes>& to, std::size_t track) {
        const std::string why = copyFault(src, box, parent, budget);
        if (why.empty()) {
            to.push_back(wholeBox(box));
        } else if (why != "padding") {
            ref.notes.push_back("box '" + typeName(box.type) + "' of the reference's " +
                                (track ? "track " + std::to_string(track) : "moov") +
                                " is not copied: " + why);
        }
    }
    Bytes wholeBox(const BoxHeader& box) const {
        return src.bytes(box.offset, static_cast<std::size_t>(box.end - box.offset));
    }
    void fail(std::string why) {
        if (fault.empty()) {
            fault = std::move(why);
        }
    }
};

std::uint32_t readU32(const ByteSource& src, std::uint64_t at) {
    std::uint8_t b[4] = {};
    return src.read(at, b, 4) == 4 ? be32(b) : 0;
}

void readSampleTables(MoovRead& m, const BoxHeader& stbl, RefTrack& t) {
    const ByteSource& src = m.src;
    t.stblPayload = stbl.payload;
    t.stblEnd = stbl.end;
    const auto child = [&](const char(&type)[5]) {
        return findChild(src, stbl.payload, stbl.end, fourcc(type));
    };
    if (const auto stsd = child("stsd")) {
        t.stsd = m.wholeBox(*stsd);
        readSampleEntry(src, *stsd, t);
    }
    const auto stts = child("stts");
    if (stts) {
        t.sampleDuration = dominantDelta(src, *stts);
    }
    const auto ctts = child("ctts");
    if (stts && ctts && t.sampleDuration != 0) {
        const std::int64_t shown = firstShownTime(src, *stts, *ctts, kLearnSamples);
        const std::int64_t d = t.sampleDuration;
        t.shownDelay = shown < 0 ? -1 : (shown + d / 2) / d;
    }
    SizeTable sizes;
    if (auto stsz = child("stsz")) {
        sizes = readSizes(src, *stsz, kLearnSamples);
        t.fixedSampleSize = sizes.fixed;
        t.maxSampleSize = sizes.max;
        t.sampleCount = sizes.count;
    }
    if (auto stss = child("stss")) {
        t.hasStss = true;
        t.syncSamples = syncSamples(src, *stss);
    }
    auto stsc = child("stsc");
    auto stco = child("stco");
    auto co64 = child("co64");
    if (stsc && (stco || co64)) {
        t.chunks = chunkLayout(src, *stsc, stco ? *stco : *co64, !stco);
    }
    t.firstSamples = firstSamples(t.chunks, sizes, kLearnSamples);
    if (t.stsd.empty()) {
        m.fail("it has no sample description (stsd)");
    }
}

void readMinf(MoovRead& m, const BoxHeader& minf, RefTrack& t) {
    for (const auto& box : childBoxes(m.src, minf.payload, minf.end)) {
        if (box.type == fourcc("stbl")) {
            readSampleTables(m, box, t);
        } else {
            m.copy(box, CopiedFrom::Minf, t.minfOther, t.number);
        }
    }
}

void readMdia(MoovRead& m, const BoxHeader& mdia, RefTrack& t) {
    for (const auto& box : childBoxes(m.src, mdia.payload, mdia.end)) {
        if (box.type == fourcc("mdhd") && t.mdhd.empty()) {
            t.mdhd = m.wholeBox(box);
        } else if (box.type == fourcc("minf")) {
            readMinf(m, box, t);
        } else {
            if (box.type == fourcc("hdlr") && t.handler == 0) {
                t.handler = readU32(m.src, box.payload + 8);
            }
            m.copy(box, CopiedFrom::Mdia, t.mdiaOther, t.number);
        }
    }
    m.fail(mediaHeaderFault(t.mdhd, t.timescale));
}

// The edit list is taken over when it parses and fits the media it edits.
void keepEditList(MoovRead& m, const BoxHeader& edts, RefTrack& t) {
    const auto elst = findChild(m.src, edts.payload, edts.end, fourcc("elst"));
    if (!elst) {
        return;
    }
    t.elst = m.wholeBox(*elst);
    std::string why = editListFault(t.elst, m.ref.movieTimescale);
    if (why.empty()) {
        t.editMediaTime = editMediaTime(m.src, edts);
    }
    const std::uint64_t media = t.sampleCount * t.sampleDuration;
    if (why.empty() && t.editMediaTime > 0 && media > 0 &&
        static_cast<std::uint64_t>(t.editMediaTime) >= media) {
        why = "it starts at media time " + std::to_string(t.editMediaTime) + ", after the media";
    }
    if (!why.empty()) {
        m.ref.notes.push_back("the edit list of the reference's track " + std::to_string(t.number) +
                              " is not copied: " + why);
        t.elst.clear();
        t.editMediaTime = -1;
    }
}

RefTrack readTrack(MoovRead& m, const BoxHeader& trak, std::size_t number) {
    RefTrack t;
    t.number = number;
    m.fault.clear();
    bool mdiaSeen = false;
    std::optional<BoxHeader> edts;
    for (const auto& box : childBoxes(m.src, trak.payload, trak.end)) {
        if (box.type == fourcc("tkhd") && t.tkhd.empty()) {
            t.tkhd = m.wholeBox(box);
        } else if (box.type == fourcc("edts")) {
            edts = box;
        } else if (box.type == fourcc("mdia") && !mdiaSeen) {
            readMdia(m, box, t);
            mdiaSeen = true;
        } else {
            m.copy(box, CopiedFrom::Trak, mdiaSeen ? t.trakAfter : t.trakBefore, number);
        }
    }
    if (!mdiaSeen) {
        m.fail("it has no media box (mdia)");
    }
    m.fail(trackHeaderFault(t.tkhd, t.id));
    for (const auto& other : m.ref.tracks) {
        if (other.id == t.id) {
            m.fail("its track id " + std::to_string(t.id) + " is also track " +
                   std::to_string(other.number) + "'s");
        }
    }
    if (edts && m.fault.empty()) {
        keepEditList(m, *edts, t);
    }
    return t;
}

void readMoov(MoovRead& m) {
    Reference& ref = m.ref;
    const auto root = *readBoxHeader(m.src, 0, m.src.size());
    std::size_t traks = 0;
    for (const auto& box : childBoxes(m.src, root.payload, root.end)) {
        if (box.type == fourcc("mvhd") && ref.mvhd.empty()) {
            ref.mvhd = m.wholeBox(box);
            ref.mvhd = saneMovieHeader(std::move(ref.mvhd), ref.movieTimescale, ref.notes);
        } else if (box.type == fourcc("trak")) {
            ref.tracks.push_back(readTrack(m, box, ++traks));
            ref.tracks.back().fault = m.fault;
        } else {
            m.copy(box, CopiedFrom::Moov, ref.moovOther, 0);
        }
    }
    if (ref.mvhd.empty()) {
        ref.mvhd = saneMovieHeader({}, ref.movieTimescale, ref.notes);
    }
}

} // namespace

bool isVideoHandler(std::uint32_t handler) {
    return handler == fourcc("vide");
}

std::string trackName(std::size_t number, std::uint32_t handler, std::uint32_t codec) {
    const std::string kind = handler == fourcc("vide")   ? "video"
                             : handler == fourcc("soun") ? "sound"
                                                         : typeName(handler);
    return "track " + std::to_string(number) + " (" + kind + ", " + typeName(codec) + ")";
}

void leaveOut(Reference& ref, std::size_t index, std::string reason) {
    if (ref.tracks[index].fault.empty()) {
        ref.tracks[index].fault = std::move(reason);
    }
}

std::string leftOutLine(const LeftOut& t) {
    return trackName(t.number, t.handler, t.codec) + " of the reference is left out: " + t.reason;
}

std::vector<std::uint8_t> loadBox(const ByteSource& file, std::uint64_t offset, std::uint64_t end,
                                  std::size_t maxBytes) {
    const std::uint64_t size = end - offset;
    if (size > maxBytes) {
        return {};
    }
    return file.bytes(offset, static_cast<std::size_t>(size));
}

Reference readReference(const ByteSource& file) {
    const auto first = readBoxHeader(file, 0, file.size());
    if (!first || !isTopLevelType(first->type)) {
        throw RepairError(ExitCode::BadInput, "reference file is not an MP4/MOV file");
    }
    Reference ref;
    std::optional<BoxHeader> moov;
    // One box at a time: a file of countless tiny boxes must not cost memory.
    for (auto at = first; at; at = readBoxHeader(file, at->end, file.size())) {
        const BoxHeader& box = *at;
        if (box.type == fourcc("ftyp") && ref.ftyp.empty()) {
            ref.ftyp = loadBox(file, box.offset, box.end, 4096);
        } else if (box.type == fourcc("moov") && !moov) {
            moov = box;
        }
    }
    if (!moov) {
        throw RepairError(ExitCode::BadInput,
                          "reference file has no moov box (not a finished recording)");
    }
    const auto bytes = loadBox(file, moov->offset, moov->end, kMaxMoovBytes);
    if (bytes.empty()) {
        throw RepairError(ExitCode::BadInput, "reference moov box is too large");
    }
    ref.moovOffset = moov->offset;
    MemorySource src(bytes.data(), bytes.size());
    MoovRead m{ref, src, {}, {}};
    readMoov(m);
    learnFromFragments(file, *moov, ref);
    if (ref.tracks.empty()) {
        throw RepairError(ExitCode::BadInput, "reference file has no usable track");
    }
    return ref;
}

} // namespace repair
