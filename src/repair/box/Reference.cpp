#include "box/Reference.h"

#include "box/Box.h"
#include "box/Endian.h"
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

Bytes wholeBox(const ByteSource& src, const BoxHeader& box) {
    return src.bytes(box.offset, static_cast<std::size_t>(box.end - box.offset));
}

std::uint32_t readU32(const ByteSource& src, std::uint64_t at) {
    std::uint8_t b[4] = {};
    return src.read(at, b, 4) == 4 ? be32(b) : 0;
}

void readTkhd(const ByteSource& src, const BoxHeader& tkhd, RefTrack& t) {
    const auto b = src.bytes(tkhd.payload, 24);
    const std::size_t idAt = !b.empty() && b[0] == 1 ? 20 : 12;
    if (b.size() >= idAt + 4 && tkhd.end - tkhd.payload >= (idAt == 20 ? 92u : 80u)) {
        t.id = be32(b.data() + idAt);
        t.tkhd = wholeBox(src, tkhd);
    }
}

void readMdhd(const ByteSource& src, const BoxHeader& mdhd, RefTrack& t) {
    const auto b = src.bytes(mdhd.payload, 36);
    const std::size_t ts = !b.empty() && b[0] == 1 ? 20 : 12;
    if (b.size() >= ts + 16) {
        t.timescale = be32(b.data() + ts);
        t.mdhd = wholeBox(src, mdhd);
    }
}

void readSampleTables(const ByteSource& src, const BoxHeader& stbl, RefTrack& t) {
    t.stblPayload = stbl.payload;
    t.stblEnd = stbl.end;
    const auto child = [&](const char(&type)[5]) {
        return findChild(src, stbl.payload, stbl.end, fourcc(type));
    };
    if (const auto stsd = child("stsd")) {
        t.stsd = wholeBox(src, *stsd);
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
}

void readMinf(const ByteSource& src, const BoxHeader& minf, RefTrack& t) {
    for (const auto& box : childBoxes(src, minf.payload, minf.end)) {
        if (box.type == fourcc("stbl")) {
            readSampleTables(src, box, t);
        } else {
            t.minfOther.push_back(wholeBox(src, box));
        }
    }
}

void readMdia(const ByteSource& src, const BoxHeader& mdia, RefTrack& t) {
    for (const auto& box : childBoxes(src, mdia.payload, mdia.end)) {
        if (box.type == fourcc("mdhd")) {
            readMdhd(src, box, t);
        } else if (box.type == fourcc("minf")) {
            readMinf(src, box, t);
        } else {
            if (box.type == fourcc("hdlr") && t.handler == 0) {
                t.handler = readU32(src, box.payload + 8);
            }
            t.mdiaOther.push_back(wholeBox(src, box));
        }
    }
}

std::optional<RefTrack> readTrack(const ByteSource& src, const BoxHeader& trak) {
    RefTrack t;
    bool mdiaSeen = false;
    for (const auto& box : childBoxes(src, trak.payload, trak.end)) {
        if (box.type == fourcc("tkhd")) {
            readTkhd(src, box, t);
        } else if (box.type == fourcc("edts")) {
            if (auto elst = findChild(src, box.payload, box.end, fourcc("elst"))) {
                t.elst = wholeBox(src, *elst);
                t.editMediaTime = editMediaTime(src, box);
            }
        } else if (box.type == fourcc("mdia")) {
            readMdia(src, box, t);
            mdiaSeen = true;
        } else {
            (mdiaSeen ? t.trakAfter : t.trakBefore).push_back(wholeBox(src, box));
        }
    }
    if (t.tkhd.empty() || t.mdhd.empty() || t.timescale == 0 || t.stsd.empty()) {
        return std::nullopt;
    }
    return t;
}

void readMoov(const ByteSource& src, Reference& ref) {
    const auto root = *readBoxHeader(src, 0, src.size());
    for (const auto& box : childBoxes(src, root.payload, root.end)) {
        if (box.type == fourcc("mvhd") && ref.mvhd.empty()) {
            ref.mvhd = wholeBox(src, box);
            const auto b = src.bytes(box.payload, 24);
            const std::size_t at = !b.empty() && b[0] == 1 ? 20 : 12;
            if (b.size() >= at + 4 && be32(b.data() + at) != 0) {
                ref.movieTimescale = be32(b.data() + at);
            }
        } else if (box.type == fourcc("trak")) {
            if (auto t = readTrack(src, box)) {
                ref.tracks.push_back(std::move(*t));
            }
        } else {
            ref.moovOther.push_back(wholeBox(src, box));
        }
    }
}

} // namespace

bool isVideoHandler(std::uint32_t handler) {
    return handler == fourcc("vide");
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
    readMoov(src, ref);
    if (ref.tracks.empty()) {
        throw RepairError(ExitCode::BadInput, "reference file has no usable track");
    }
    return ref;
}

} // namespace repair
