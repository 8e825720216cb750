#include "Reference.h"

#include "Box.h"
#include "Endian.h"
#include "RefTables.h"
#include "RepairError.h"
#include "SampleEntry.h"

namespace repair {
namespace {

// A moov beyond this is not a camera recording's; refusing it bounds memory.
constexpr std::size_t kMaxMoovBytes = 256u << 20;

std::uint32_t readU32(const ByteSource& src, std::uint64_t at) {
    std::uint8_t b[4] = {};
    return src.read(at, b, 4) == 4 ? be32(b) : 0;
}

std::vector<std::uint8_t> wholeBox(const ByteSource& src, const std::optional<BoxHeader>& box) {
    if (!box) {
        return {};
    }
    return src.bytes(box->offset, static_cast<std::size_t>(box->end - box->offset));
}

void readTkhd(const ByteSource& src, const BoxHeader& tkhd, RefTrack& t) {
    const auto b = src.bytes(tkhd.payload, static_cast<std::size_t>(tkhd.end - tkhd.payload));
    const std::size_t tail = b.empty() ? 0 : (b[0] == 1 ? 36 : 24);
    if (b.size() >= tail + 60 && tail != 0) {
        t.tkhdFlags = be32(b.data()) & 0xffffff;
        t.tkhdTail.assign(b.begin() + static_cast<std::ptrdiff_t>(tail),
                          b.begin() + static_cast<std::ptrdiff_t>(tail + 60));
    }
}

void readMdhd(const ByteSource& src, const BoxHeader& mdhd, RefTrack& t) {
    const auto b = src.bytes(mdhd.payload, 36);
    const bool v1 = !b.empty() && b[0] == 1;
    const std::size_t ts = v1 ? 20 : 12;
    const std::size_t lang = v1 ? 32 : 20;
    if (b.size() >= lang + 2) {
        t.timescale = be32(b.data() + ts);
        t.language = be16(b.data() + lang);
    }
}

void readSampleTables(const ByteSource& src, const BoxHeader& stbl, RefTrack& t) {
    const auto child = [&](const char(&type)[5]) {
        return findChild(src, stbl.payload, stbl.end, fourcc(type));
    };
    const auto stsd = child("stsd");
    t.stsd = wholeBox(src, stsd);
    if (stsd) {
        readSampleEntry(src, *stsd, t);
    }
    if (auto stts = child("stts")) {
        t.sampleDuration = dominantDelta(src, *stts);
    }
    if (auto stsz = child("stsz")) {
        t.maxSampleSize = maxSampleSize(src, *stsz, t.sampleCount);
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
}

std::optional<RefTrack> readTrack(const ByteSource& src, const BoxHeader& trak) {
    RefTrack t;
    const auto mdia = findChild(src, trak.payload, trak.end, fourcc("mdia"));
    const auto tkhd = findChild(src, trak.payload, trak.end, fourcc("tkhd"));
    const auto hdlr =
        mdia ? findChild(src, mdia->payload, mdia->end, fourcc("hdlr")) : std::nullopt;
    const auto mdhd =
        mdia ? findChild(src, mdia->payload, mdia->end, fourcc("mdhd")) : std::nullopt;
    const auto minf =
        mdia ? findChild(src, mdia->payload, mdia->end, fourcc("minf")) : std::nullopt;
    const auto stbl =
        minf ? findChild(src, minf->payload, minf->end, fourcc("stbl")) : std::nullopt;
    if (!tkhd || !hdlr || !mdhd || !minf || !stbl) {
        return std::nullopt;
    }
    readTkhd(src, *tkhd, t);
    readMdhd(src, *mdhd, t);
    t.handler = readU32(src, hdlr->payload + 8);
    t.hdlr = wholeBox(src, hdlr);
    t.dinf = wholeBox(src, findChild(src, minf->payload, minf->end, fourcc("dinf")));
    const std::uint32_t header = t.handler == fourcc("vide") ? fourcc("vmhd") : fourcc("smhd");
    t.mediaHeader = wholeBox(src, findChild(src, minf->payload, minf->end, header));
    if (auto edts = findChild(src, trak.payload, trak.end, fourcc("edts"))) {
        t.editMediaTime = editMediaTime(src, *edts);
    }
    readSampleTables(src, *stbl, t);
    if (t.tkhdTail.empty() || t.timescale == 0) {
        return std::nullopt;
    }
    return t;
}

void keepTrack(Reference& ref, RefTrack&& t) {
    if (t.handler == fourcc("vide") && !ref.video) {
        if (!isSupportedVideo(t.codec)) {
            throw RepairError(ExitCode::Unsupported, "reference video codec '" + typeName(t.codec) +
                                                         "' is not supported (H.264 or HEVC only)");
        }
        if (!t.avc) {
            throw RepairError(ExitCode::BadInput, "reference video has no valid avcC/hvcC");
        }
        ref.video = std::move(t);
    } else if (t.handler == fourcc("soun") && !ref.audio && t.aac) {
        ref.audio = std::move(t);
    }
}

} // namespace

bool isSupportedVideo(std::uint32_t codec) {
    return codec == fourcc("avc1") || codec == fourcc("avc3") || isHevc(codec);
}

bool isHevc(std::uint32_t codec) {
    return codec == fourcc("hvc1") || codec == fourcc("hev1");
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
    const auto top = childBoxes(file, 0, file.size());
    if (top.empty() || !isTopLevelType(top.front().type)) {
        throw RepairError(ExitCode::BadInput, "reference file is not an MP4/MOV file");
    }
    Reference ref;
    std::optional<BoxHeader> moov;
    for (const auto& box : top) {
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
    MemorySource src(bytes.data(), bytes.size());
    const auto root = *readBoxHeader(src, 0, bytes.size());
    if (auto mvhd = findChild(src, root.payload, root.end, fourcc("mvhd"))) {
        const auto b = src.bytes(mvhd->payload, 24);
        const std::size_t at = !b.empty() && b[0] == 1 ? 20 : 12;
        ref.movieTimescale = b.size() >= at + 4 && be32(b.data() + at) ? be32(b.data() + at) : 1000;
    }
    for (const auto& box : childBoxes(src, root.payload, root.end)) {
        if (box.type == fourcc("trak")) {
            if (auto t = readTrack(src, box)) {
                keepTrack(ref, std::move(*t));
            }
        }
    }
    if (!ref.video) {
        throw RepairError(ExitCode::Unsupported, "reference file has no H.264 or HEVC video track");
    }
    return ref;
}

} // namespace repair
