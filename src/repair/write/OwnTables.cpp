#include "write/OwnTables.h"

#include "box/Endian.h"
#include "box/RefTables.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace repair {
namespace {

// Composition offsets are kept one per sample: a fixed-size track (PCM, one entry per
// audio frame) gets them only up to this many samples.
constexpr std::uint64_t kMaxExpandedOffsets = 1u << 24;

struct StblBoxes {
    std::optional<BoxHeader> stsz, stsc, stco, co64, stts, ctts, stss;
};

StblBoxes findBoxes(const ByteSource& file, std::uint64_t begin, std::uint64_t end) {
    StblBoxes b;
    // One box at a time: an stbl of countless tiny boxes must not cost memory.
    for (auto at = readBoxHeader(file, begin, end); at; at = readBoxHeader(file, at->end, end)) {
        const BoxHeader& box = *at;
        const std::pair<std::uint32_t, std::optional<BoxHeader>*> slots[] = {
            {fourcc("stsz"), &b.stsz}, {fourcc("stsc"), &b.stsc}, {fourcc("stco"), &b.stco},
            {fourcc("co64"), &b.co64}, {fourcc("stts"), &b.stts}, {fourcc("ctts"), &b.ctts},
            {fourcc("stss"), &b.stss}};
        for (const auto& [type, slot] : slots) {
            if (box.type == type && !*slot) {
                *slot = box;
            }
        }
    }
    return b;
}

// What one sample of a fixed-size track takes in the file. QuickTime writes sample_size 1
// for uncompressed sound and counts whole frames of its sound description.
std::uint64_t fixedBytes(const RefTrack& t, std::uint32_t stszSize) {
    if (stszSize != 1 || !t.sound || t.codec == fourcc("mp4a")) {
        return stszSize;
    }
    const SoundInfo& s = *t.sound;
    if (s.version >= 1 && s.bytesPerFrame > 0 && s.framesPerPacket <= 1) {
        return s.bytesPerFrame;
    }
    const bool byteCoded =
        t.codec == fourcc("ulaw") || t.codec == fourcc("alaw") || t.codec == fourcc("raw ");
    const int perChannel = byteCoded ? 1 : (s.bitsPerSample + 7) / 8;
    return static_cast<std::uint64_t>(std::max(perChannel, 1) * std::max(s.channels, 1));
}

// Goes over the chunks in order and keeps the samples up to the first one that is not
// wholly in the data.
class ChunkKeeper {
public:
    ChunkKeeper(const Table& sizes, const RefTrack& track, std::uint64_t begin, std::uint64_t end,
                OwnTrack& out)
        : sizes_(sizes), begin_(begin), end_(end), out_(out) {
        const std::uint32_t fixed = sizes.bytes.size() >= 12 ? be32(sizes.bytes.data() + 4) : 0;
        total_ = fixed != 0 ? be32(sizes.bytes.data() + 8) : sizes.entries;
        fixed_ = fixedBytes(track, fixed);
        out.tables.fixedSize = fixed;
    }

    // Samples the size table still lists.
    std::uint64_t left() const { return total_ - listed_; }

    void chunk(std::uint64_t offset, std::uint64_t samples) {
        samples = std::min(samples, left());
        const std::uint64_t kept =
            fixed_ != 0 ? fixedChunk(offset, samples) : sizedChunk(offset, samples);
        if (keeping_ && kept > 0) {
            out_.tables.chunkOffsets.push_back(offset);
            out_.tables.chunkSamples.push_back(static_cast<std::uint32_t>(kept));
            out_.tables.sampleCount += kept;
        }
        keeping_ = keeping_ && kept == samples;
        listed_ += samples;
        out_.listed = listed_;
    }

private:
    // Of `samples` at offset, how many are whole and, while keeping, kept.
    std::uint64_t fixedChunk(std::uint64_t offset, std::uint64_t samples) {
        const std::uint64_t whole =
            offset >= begin_ && offset <= end_ ? std::min(samples, (end_ - offset) / fixed_) : 0;
        out_.complete += whole;
        if (keeping_ && whole > 0) {
            out_.keptEnd = std::max(out_.keptEnd, offset + whole * fixed_);
        }
        return whole;
    }

    std::uint64_t sizedChunk(std::uint64_t offset, std::uint64_t samples) {
        std::uint64_t at = offset;
        std::uint64_t kept = 0;
        bool keeping = keeping_;
        for (std::uint64_t k = 0; k < samples; ++k) {
            const std::uint32_t size = be32(sizes_.entry(listed_ + k, 4));
            const bool whole = at >= begin_ && at <= end_ && size <= end_ - at;
            out_.complete += whole ? 1 : 0;
            keeping = keeping && whole;
            if (keeping) {
                out_.tables.sizes.push_back(size);
                out_.keptEnd = std::max(out_.keptEnd, at + size);
                ++kept;
            }
            at = size > std::numeric_limits<std::uint64_t>::max() - at ? at : at + size;
        }
        return kept;
    }

    const Table& sizes_;
    std::uint64_t begin_, end_;
    OwnTrack& out_;
    std::uint64_t fixed_ = 0; // bytes of a sample when stsz gives one size
    std::uint64_t total_ = 0;
    std::uint64_t listed_ = 0;
    bool keeping_ = true;
};

void keepSamples(const ByteSource& file, const StblBoxes& b, const RefTrack& track,
                 std::uint64_t begin, std::uint64_t end, OwnTrack& out) {
    const bool wide = !b.stco;
    const Table sizes = readTable(file, *b.stsz, 4, 4);
    const Table offsets = readTable(file, wide ? *b.co64 : *b.stco, wide ? 8 : 4);
    const Table runs = readTable(file, *b.stsc, 12);
    ChunkKeeper keeper(sizes, track, begin, end, out);
    // Chunk numbers only go forward, whatever the first_chunk fields say.
    std::uint64_t chunk = 1;
    for (std::uint64_t e = 0; e < runs.entries && keeper.left() > 0; ++e) {
        const std::uint32_t perChunk = be32(runs.entry(e, 12) + 4);
        const std::uint64_t next =
            e + 1 < runs.entries ? be32(runs.entry(e + 1, 12)) : offsets.entries + 1;
        for (chunk = std::max<std::uint64_t>(chunk, be32(runs.entry(e, 12)));
             chunk < next && chunk <= offsets.entries && keeper.left() > 0; ++chunk) {
            keeper.chunk(wide ? be64(offsets.entry(chunk - 1, 8))
                              : be32(offsets.entry(chunk - 1, 4)),
                         perChunk);
        }
    }
}

// stts runs up to the kept count; samples it does not cover last as long as its last run.
void keepDurations(const ByteSource& file, const std::optional<BoxHeader>& stts,
                   std::uint32_t fallback, TrackTables& t) {
    std::uint64_t covered = 0;
    if (stts) {
        const Table runs = readTable(file, *stts, 8);
        for (std::uint64_t i = 0; i < runs.entries && covered < t.sampleCount; ++i) {
            const std::uint64_t n =
                std::min<std::uint64_t>(be32(runs.entry(i, 8)), t.sampleCount - covered);
            if (n > 0) {
                t.durations.emplace_back(static_cast<std::uint32_t>(n), be32(runs.entry(i, 8) + 4));
                covered += n;
            }
        }
    }
    if (covered < t.sampleCount && !t.durations.empty()) {
        t.durations.back().first += static_cast<std::uint32_t>(t.sampleCount - covered);
    } else if (covered < t.sampleCount) {
        t.durations.emplace_back(static_cast<std::uint32_t>(t.sampleCount), fallback);
    }
}

void keepCompositionOffsets(const ByteSource& file, const BoxHeader& ctts, TrackTables& t) {
    if (t.sizes.empty() && t.sampleCount > kMaxExpandedOffsets) {
        return;
    }
    const Table runs = readTable(file, ctts, 8);
    auto& out = t.compositionOffsets;
    for (std::uint64_t i = 0; i < runs.entries && out.size() < t.sampleCount; ++i) {
        const std::uint64_t n =
            std::min<std::uint64_t>(be32(runs.entry(i, 8)), t.sampleCount - out.size());
        out.insert(out.end(), static_cast<std::size_t>(n), be32(runs.entry(i, 8) + 4));
    }
    if (!out.empty() && out.size() < t.sampleCount) {
        out.insert(out.end(), static_cast<std::size_t>(t.sampleCount - out.size()), out.back());
    }
}

void keepSyncSamples(const ByteSource& file, const BoxHeader& stss, TrackTables& t) {
    t.allSync = false;
    for (std::uint32_t s : syncSamples(file, stss)) {
        if (s >= 1 && s <= t.sampleCount) {
            t.syncSamples.push_back(s);
        }
    }
}

} // namespace

OwnTrack readOwnTrack(const ByteSource& file, const Reference& ref, const RefTrack& track,
                      std::uint64_t dataBegin, std::uint64_t dataEnd) {
    OwnTrack out;
    if (track.stblEnd <= track.stblPayload) {
        return out;
    }
    const StblBoxes b =
        findBoxes(file, ref.moovOffset + track.stblPayload, ref.moovOffset + track.stblEnd);
    if (!b.stsz || !b.stsc || (!b.stco && !b.co64)) {
        return out;
    }
    keepSamples(file, b, track, dataBegin, dataEnd, out);
    TrackTables& t = out.tables;
    keepDurations(file, b.stts, std::max<std::uint32_t>(track.sampleDuration, 1), t);
    if (b.ctts) {
        keepCompositionOffsets(file, *b.ctts, t);
    }
    if (b.stss) {
        keepSyncSamples(file, *b.stss, t);
    }
    return out;
}

} // namespace repair
