#include "box/RefCheck.h"

#include "box/Endian.h"
#include "box/RefTables.h"
#include "box/RepairError.h"

#include <algorithm>
#include <limits>

namespace repair {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Fixed fields of a sample entry after its box header: visual, sound (QuickTime versions
// 0, 1, 2), and the reserved bytes and data reference index every entry has.
constexpr std::uint64_t kVisualFields = 78;
constexpr std::uint64_t kSoundFields[] = {28, 44, 64};
constexpr std::uint64_t kEntryFields = 8;

std::string num(std::uint64_t v) {
    return std::to_string(v);
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

// The sample entries fill the stsd as it says, and the first holds its fixed fields.
std::string stsdFault(const RefTrack& t) {
    const Bytes& b = t.stsd;
    const std::string bad = "its sample description (stsd) does not parse: ";
    if (b.size() < 16 || be32(b.data() + 12) == 0) {
        return bad + "it lists no entry";
    }
    MemorySource src(b.data(), b.size());
    std::uint64_t at = 16;
    for (std::uint32_t i = 0, n = be32(b.data() + 12); i < n; ++i) {
        const auto entry = readBoxHeader(src, at, b.size());
        if (!entry || entry->runsPastEnd) {
            return bad + "entry " + num(i + 1) + " runs past its end";
        }
        std::uint64_t fields = kEntryFields;
        if (i == 0 && isVideoHandler(t.handler)) {
            fields = kVisualFields;
        } else if (i == 0 && t.sound) {
            fields = kSoundFields[std::clamp(t.sound->version, 0, 2)];
        }
        if (entry->end - entry->payload < fields) {
            return bad + "entry " + num(i + 1) + " ('" + typeName(entry->type) + "') is too short";
        }
        at = entry->end;
    }
    return "";
}

struct Tables {
    std::optional<BoxHeader> stts, stsz, stsc, stco, co64, stss, ctts;
};

Tables findTables(const ByteSource& file, std::uint64_t begin, std::uint64_t end) {
    Tables t;
    for (const auto& box : childBoxes(file, begin, end)) {
        for (auto [type, slot] : {std::pair{fourcc("stts"), &t.stts},
                                  {fourcc("stsz"), &t.stsz},
                                  {fourcc("stsc"), &t.stsc},
                                  {fourcc("stco"), &t.stco},
                                  {fourcc("co64"), &t.co64},
                                  {fourcc("stss"), &t.stss},
                                  {fourcc("ctts"), &t.ctts}}) {
            if (box.type == type && !*slot) {
                *slot = box;
            }
        }
    }
    return t;
}

// Samples the chunks hold by stsc.
std::uint64_t stscSamples(const Table& sc, std::uint64_t chunks) {
    std::uint64_t total = 0;
    for (std::uint64_t e = 0; e < sc.entries; ++e) {
        const std::uint64_t first = be32(sc.entry(e, 12));
        const std::uint64_t next = e + 1 < sc.entries ? be32(sc.entry(e + 1, 12)) : chunks + 1;
        const std::uint64_t perChunk = be32(sc.entry(e, 12) + 4);
        if (first >= 1 && next > first && first <= chunks) {
            const std::uint64_t covered = std::min(next, chunks + 1) - first;
            total = saturatingAdd(total, covered * perChunk); // both below 2^32
        }
    }
    return total;
}

std::string tableFault(const ByteSource& file, const Tables& b, std::uint64_t fileSize) {
    if (!b.stts || !b.stsz || !b.stsc || (!b.stco && !b.co64)) {
        return "its sample tables are incomplete (" +
               std::string(!b.stts   ? "stts"
                           : !b.stsz ? "stsz"
                           : !b.stsc ? "stsc"
                                     : "stco") +
               " is missing)";
    }
    const bool wide = !b.stco;
    const Table stts = readTable(file, *b.stts, 8), stsc = readTable(file, *b.stsc, 12),
                co = readTable(file, wide ? *b.co64 : *b.stco, wide ? 8 : 4),
                stsz = readTable(file, *b.stsz, 4, 4);
    const bool fixed = stsz.bytes.size() >= 12 && be32(stsz.bytes.data() + 4) != 0;
    const std::pair<const char*, Table> all[] = {
        {"stts", stts},
        {"stsc", stsc},
        {wide ? "co64" : "stco", co},
        {"stsz", fixed ? Table{} : stsz},
        {"stss", b.stss ? readTable(file, *b.stss, 4) : Table{}},
        {"ctts", b.ctts ? readTable(file, *b.ctts, 8) : Table{}}};
    for (const auto& [type, t] : all) {
        if (t.declared > t.entries) {
            return "its " + std::string(type) + " lists " + num(t.declared) +
                   " entries but holds " + num(t.entries) + " (the table ends early)";
        }
    }
    for (std::uint64_t i = 0; i < co.entries; ++i) {
        const std::uint64_t at = wide ? be64(co.entry(i, 8)) : be32(co.entry(i, 4));
        if (at >= fileSize) {
            return "its chunk " + num(i + 1) + " starts at byte " + num(at) +
                   ", past the end of the file (" + num(fileSize) + " bytes)";
        }
    }
    std::uint64_t timed = 0;
    for (std::uint64_t i = 0; i < stts.entries; ++i) {
        timed += be32(stts.entry(i, 8));
    }
    const std::uint64_t sized = stsz.declared;
    const std::uint64_t chunked = stscSamples(stsc, co.entries);
    if (sized != timed || sized != chunked) {
        return "its sample tables disagree: stsz counts " + num(sized) + " samples, stts " +
               num(timed) + ", stsc over its " + num(co.entries) + " chunks " + num(chunked);
    }
    return "";
}

} // namespace

void checkReference(Reference& ref, const ByteSource& file, const std::string& name) {
    const auto moov = readBoxHeader(file, ref.moovOffset, file.size());
    if (moov && moov->runsPastEnd && !moov->sizeZero) {
        std::uint8_t h[16] = {};
        file.read(ref.moovOffset, h, 16);
        const std::uint64_t declared = moov->largeSize ? be64(h + 8) : be32(h);
        throw RepairError(ExitCode::BadInput, "the reference " + name +
                                                  " is cut off inside its moov box: the box is " +
                                                  num(declared) + " bytes, the file holds " +
                                                  num(moov->end - moov->offset) + " of them");
    }
    for (std::size_t i = ref.tracks.size(); i-- > 0;) {
        const RefTrack& t = ref.tracks[i];
        const Tables b =
            findTables(file, ref.moovOffset + t.stblPayload, ref.moovOffset + t.stblEnd);
        std::string fault = stsdFault(t);
        if (fault.empty()) {
            fault = t.stblEnd == 0 ? "it has no sample tables (stbl)"
                                   : tableFault(file, b, file.size());
        }
        if (!fault.empty()) {
            leaveOut(ref, i, fault);
        }
    }
}

void requireUsable(const Reference& ref, const std::string& name) {
    const auto video = [](const RefTrack& t) { return isVideoHandler(t.handler); };
    const auto good = [](const RefTrack& t) { return t.fault.empty(); };
    const auto& all = ref.tracks;
    const auto firstVideo = std::find_if(all.begin(), all.end(), video);
    const bool anyGood = std::any_of(all.begin(), all.end(), good);
    if (firstVideo == all.end() ? anyGood : std::any_of(all.begin(), all.end(), [&](const auto& t) {
            return video(t) && good(t);
        })) {
        return;
    }
    const RefTrack& why = firstVideo != all.end() ? *firstVideo : all.front();
    throw RepairError(
        ExitCode::BadInput,
        "the reference " + name + " has no usable " + (firstVideo != all.end() ? "video " : "") +
            "track: " + trackName(why.number, why.handler, why.codec) + ": " + why.fault);
}

} // namespace repair
