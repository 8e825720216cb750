#include "box/SampleEntry.h"

#include "box/Endian.h"

#include <cstring>

namespace repair {
namespace {

// Fixed fields of a visual sample entry after its 8-byte box header.
constexpr std::uint64_t kVisualFields = 78;
// Fixed fields of a sound sample entry (version 0), and what QuickTime versions 1 and 2 add.
constexpr std::uint64_t kSoundFields = 28;
constexpr std::uint64_t kSoundV1Extra = 16;
constexpr std::uint64_t kSoundV2Extra = 36;
constexpr std::size_t kMaxConfigBytes = std::size_t{64} * 1024;

std::vector<std::uint8_t> payloadOf(const ByteSource& src, const BoxHeader& box,
                                    std::uint64_t skip = 0) {
    if (box.end - box.payload <= skip || box.end - box.payload - skip > kMaxConfigBytes) {
        return {};
    }
    return src.bytes(box.payload + skip, static_cast<std::size_t>(box.end - box.payload - skip));
}

void readVideoConfig(const ByteSource& src, const BoxHeader& entry, RefTrack& track, bool hevc) {
    const auto config = findChild(src, entry.payload + kVisualFields, entry.end,
                                  hevc ? fourcc("hvcC") : fourcc("avcC"));
    if (config) {
        track.decoderConfig = payloadOf(src, *config);
    }
}

std::optional<BoxHeader> findEsds(const ByteSource& src, std::uint64_t begin, std::uint64_t end) {
    if (auto esds = findChild(src, begin, end, fourcc("esds"))) {
        return esds;
    }
    if (auto wave = findChild(src, begin, end, fourcc("wave"))) {
        return findChild(src, wave->payload, wave->end, fourcc("esds"));
    }
    return std::nullopt;
}

void readAac(const ByteSource& src, const BoxHeader& entry, RefTrack& track) {
    std::uint8_t v[2] = {};
    src.read(entry.payload + 8, v, 2);
    const std::uint16_t version = be16(v);
    const std::uint64_t fields = kSoundFields + (version == 1   ? kSoundV1Extra
                                                 : version == 2 ? kSoundV2Extra
                                                                : 0);
    if (auto esds = findEsds(src, entry.payload + fields, entry.end)) {
        track.decoderConfig = payloadOf(src, *esds, 4);
    }
}

double float64(const std::uint8_t* p) {
    const std::uint64_t bits = be64(p);
    double d = 0;
    static_assert(sizeof d == sizeof bits);
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

void readSound(const ByteSource& src, const BoxHeader& entry, RefTrack& track) {
    const auto b = src.bytes(entry.payload, kSoundFields + kSoundV2Extra);
    if (b.size() < kSoundFields) {
        return;
    }
    SoundInfo s;
    s.version = be16(b.data() + 8);
    s.channels = be16(b.data() + 16);
    s.bitsPerSample = be16(b.data() + 18);
    s.sampleRate = be32(b.data() + 24) / 65536.0;
    const std::uint8_t* more = b.data() + kSoundFields;
    if (s.version == 1 && b.size() >= kSoundFields + kSoundV1Extra) {
        s.framesPerPacket = be32(more);
        s.bytesPerFrame = be32(more + 8);
    } else if (s.version == 2 && b.size() >= kSoundFields + kSoundV2Extra) {
        s.sampleRate = float64(more + 4);
        s.channels = static_cast<int>(be32(more + 12));
        s.bitsPerSample = static_cast<int>(be32(more + 20));
        s.formatFlags = be32(more + 24);
        s.bytesPerFrame = be32(more + 28);
        s.framesPerPacket = be32(more + 32);
    }
    track.sound = s;
}

} // namespace

void readSampleEntry(const ByteSource& src, const BoxHeader& stsd, RefTrack& track) {
    const auto entry = readBoxHeader(src, stsd.payload + 8, stsd.end);
    if (!entry) {
        return;
    }
    track.codec = entry->type;
    if (entry->type == fourcc("avc1") || entry->type == fourcc("avc3")) {
        readVideoConfig(src, *entry, track, false);
    } else if (entry->type == fourcc("hvc1") || entry->type == fourcc("hev1")) {
        readVideoConfig(src, *entry, track, true);
    } else if (track.handler == fourcc("soun")) {
        readSound(src, *entry, track);
        if (entry->type == fourcc("mp4a")) {
            readAac(src, *entry, track);
        }
    }
}

} // namespace repair
