#include "box/Fragments.h"

#include "box/Endian.h"
#include "box/Reference.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace repair {
namespace {

// A moof lists a few seconds of samples: a few KB, a few MB for the longest fragments.
constexpr std::size_t kMaxMoofBytes = 64u << 20;
// Samples of a trun without per-sample entries, past which the count is not believed.
constexpr std::uint64_t kMaxUniformRun = 1u << 20;
// A moov's mvex lists one trex per track.
constexpr std::size_t kMaxMvexBytes = 1u << 20;

// tfhd flags
constexpr std::uint32_t kBaseDataOffset = 0x1, kDescriptionIndex = 0x2, kDefaultDuration = 0x8,
                        kDefaultSize = 0x10, kDefaultFlags = 0x20, kBaseIsMoof = 0x20000;
// trun flags
constexpr std::uint32_t kDataOffset = 0x1, kFirstSampleFlags = 0x4, kSampleDuration = 0x100,
                        kSampleSize = 0x200, kSampleFlags = 0x400, kCompositionOffset = 0x800;

// Reads big-endian fields of a box payload; reading past its end fails without reading.
class Fields {
public:
    Fields(const std::vector<std::uint8_t>& bytes, const BoxHeader& box)
        : bytes_(bytes), at_(box.payload), end_(box.end) {}
    std::uint32_t u32() { return take(4) ? be32(bytes_.data() + at_ - 4) : 0; }
    std::uint64_t u64() { return take(8) ? be64(bytes_.data() + at_ - 8) : 0; }
    bool ok() const { return ok_; }
    std::uint64_t left() const { return ok_ ? end_ - at_ : 0; }

private:
    bool take(std::uint64_t n) {
        ok_ = ok_ && end_ - at_ >= n;
        at_ += ok_ ? n : 0;
        return ok_;
    }
    const std::vector<std::uint8_t>& bytes_;
    std::uint64_t at_, end_;
    bool ok_ = true;
};

struct TrackHeader {
    TrackDefaults defaults;
    std::optional<std::uint64_t> base; // base_data_offset: where in the file
    bool baseIsMoof = false;
};

std::optional<TrackHeader> readTfhd(const std::vector<std::uint8_t>& bytes, const BoxHeader& box,
                                    const std::vector<TrackDefaults>& defaults) {
    Fields f(bytes, box);
    const std::uint32_t flags = f.u32() & 0xFFFFFF;
    const std::uint32_t id = f.u32();
    const auto trex = std::find_if(defaults.begin(), defaults.end(),
                                   [id](const TrackDefaults& d) { return d.trackId == id; });
    if (!f.ok() || trex == defaults.end()) {
        return std::nullopt;
    }
    TrackHeader h;
    h.defaults = *trex;
    if (flags & kBaseDataOffset) {
        h.base = f.u64();
    }
    if (flags & kDescriptionIndex) {
        f.u32();
    }
    h.defaults.duration = flags & kDefaultDuration ? f.u32() : h.defaults.duration;
    h.defaults.size = flags & kDefaultSize ? f.u32() : h.defaults.size;
    h.defaults.flags = flags & kDefaultFlags ? f.u32() : h.defaults.flags;
    h.baseIsMoof = flags & kBaseIsMoof;
    return f.ok() ? std::optional(h) : std::nullopt;
}

std::optional<std::uint64_t> readTfdt(const std::vector<std::uint8_t>& bytes,
                                      const BoxHeader& box) {
    Fields f(bytes, box);
    const std::uint32_t version = f.u32() >> 24;
    const std::uint64_t time = version == 1 ? f.u64() : f.u32();
    return f.ok() ? std::optional(time) : std::nullopt;
}

// Past any file: where a sample that no offset can place goes.
constexpr std::uint64_t kNowhere = std::numeric_limits<std::uint64_t>::max() / 2;

// Reads one trun whose data starts at file offset `at` unless it gives its own offset from
// `base`; returns where its data ends.
std::uint64_t readTrun(const std::vector<std::uint8_t>& bytes, const BoxHeader& box,
                       const TrackDefaults& d, std::uint64_t base, std::uint64_t at,
                       std::uint64_t fileSize, TrackFragment& out) {
    Fields f(bytes, box);
    const std::uint32_t flags = f.u32() & 0xFFFFFF;
    std::uint64_t count = f.u32();
    if (flags & kDataOffset) {
        const auto offset = static_cast<std::int32_t>(f.u32());
        const auto shifted = static_cast<std::int64_t>(std::min(base, kNowhere)) + offset;
        at = shifted < 0 ? kNowhere : static_cast<std::uint64_t>(shifted);
    }
    const std::uint32_t firstFlags = flags & kFirstSampleFlags ? f.u32() : d.flags;
    const std::uint64_t entry =
        4 * ((flags & kSampleDuration ? 1 : 0) + (flags & kSampleSize ? 1 : 0) +
             (flags & kSampleFlags ? 1 : 0) + (flags & kCompositionOffset ? 1 : 0));
    const std::uint64_t room = at < fileSize ? fileSize - at : 0;
    count = entry > 0
                ? std::min(count, f.left() / entry)
                : std::min({count, room / std::max<std::uint32_t>(d.size, 1), kMaxUniformRun});
    if (!f.ok()) {
        return at;
    }
    out.compositionOffsets = out.compositionOffsets || (flags & kCompositionOffset);
    for (std::uint64_t i = 0; i < count; ++i) {
        FragmentSample s;
        s.offset = at;
        s.duration = flags & kSampleDuration ? f.u32() : d.duration;
        s.size = flags & kSampleSize ? f.u32() : d.size;
        const std::uint32_t sampleFlags = flags & kSampleFlags ? f.u32()
                                          : i == 0             ? firstFlags
                                                               : d.flags;
        s.sync = !(sampleFlags & kNonSyncSample);
        s.compositionOffset = flags & kCompositionOffset ? f.u32() : 0;
        at = std::min(at, kNowhere) + s.size;
        out.samples.push_back(s);
    }
    return at;
}

// Whether the samples lie in the mdat that follows the moof, when one does, and fill no
// more than it holds: a trun whose entries were overwritten places them anywhere.
bool fitsMediaData(const ByteSource& file, const BoxHeader& moof, const MovieFragment& f) {
    const auto mdat = readBoxHeader(file, moof.end, kNowhere);
    if (!mdat || mdat->type != fourcc("mdat")) {
        return true;
    }
    std::uint64_t total = 0;
    for (const auto& t : f.tracks) {
        for (const auto& s : t.samples) {
            total += s.size;
            if (s.offset < mdat->payload || s.offset > mdat->end || s.size > mdat->end - s.offset) {
                return false;
            }
        }
    }
    return total <= mdat->end - mdat->payload;
}

} // namespace

std::optional<std::vector<TrackDefaults>> readMovieExtends(const ByteSource& file,
                                                           const BoxHeader& moov) {
    const auto mvex = findChild(file, moov.payload, moov.end, fourcc("mvex"));
    if (!mvex) {
        return std::nullopt;
    }
    const auto bytes = loadBox(file, mvex->offset, mvex->end, kMaxMvexBytes);
    std::vector<TrackDefaults> out;
    MemorySource src(bytes.data(), bytes.size());
    for (const auto& box : childBoxes(src, mvex->payload - mvex->offset, bytes.size())) {
        Fields f(bytes, box);
        f.u32();
        TrackDefaults d;
        d.trackId = f.u32();
        f.u32(); // default_sample_description_index
        d.duration = f.u32();
        d.size = f.u32();
        d.flags = f.u32();
        if (box.type == fourcc("trex") && f.ok()) {
            out.push_back(d);
        }
    }
    return out;
}

std::optional<MovieFragment> readMovieFragment(const ByteSource& file, const BoxHeader& moof,
                                               const std::vector<TrackDefaults>& defaults) {
    const auto bytes = loadBox(file, moof.offset, moof.end, kMaxMoofBytes);
    if (bytes.empty()) {
        return std::nullopt;
    }
    MemorySource src(bytes.data(), bytes.size());
    MovieFragment out;
    std::uint64_t trafDataEnd = moof.offset; // where the previous traf's data ends
    bool firstTraf = true;
    for (const auto& traf : childBoxes(src, moof.payload - moof.offset, bytes.size())) {
        if (traf.type != fourcc("traf")) {
            continue;
        }
        const bool first = std::exchange(firstTraf, false);
        const auto children = childBoxes(src, traf.payload, traf.end);
        const auto tfhd = std::find_if(children.begin(), children.end(),
                                       [](const BoxHeader& b) { return b.type == fourcc("tfhd"); });
        const auto header =
            tfhd == children.end() ? std::nullopt : readTfhd(bytes, *tfhd, defaults);
        if (!header) {
            continue;
        }
        // No base_data_offset: the moof when it says so or for its first traf, else where
        // the previous traf's data ends.
        const std::uint64_t base = header->base
                                       ? *header->base
                                       : (header->baseIsMoof || first ? moof.offset : trafDataEnd);
        TrackFragment t;
        t.trackId = header->defaults.trackId;
        std::uint64_t at = base;
        for (const auto& box : children) {
            if (box.type == fourcc("tfdt")) {
                t.decodeTime = readTfdt(bytes, box);
            } else if (box.type == fourcc("trun")) {
                at = readTrun(bytes, box, header->defaults, base, at, file.size(), t);
            }
        }
        trafDataEnd = at;
        out.tracks.push_back(std::move(t));
    }
    return fitsMediaData(file, moof, out) ? std::optional(std::move(out)) : std::nullopt;
}

bool isFragmentLevelType(std::uint32_t type) {
    constexpr std::uint32_t kTypes[] = {fourcc("moof"), fourcc("mdat"), fourcc("free"),
                                        fourcc("skip"), fourcc("sidx"), fourcc("styp"),
                                        fourcc("emsg"), fourcc("prft"), fourcc("uuid"),
                                        fourcc("mfra"), fourcc("moov"), fourcc("meta")};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

} // namespace repair
