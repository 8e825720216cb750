#include "AacConfig.h"

#include "BitReader.h"

namespace repair {
namespace {

constexpr std::uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                    22050, 16000, 12000, 11025, 8000,  7350};

// One MPEG-4 descriptor: tag, then a size of up to four 7-bit groups.
struct Descriptor {
    int tag = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
};

std::optional<Descriptor> readDescriptor(const std::uint8_t* d, std::size_t size, std::size_t at) {
    if (at >= size) {
        return std::nullopt;
    }
    Descriptor desc;
    desc.tag = d[at++];
    std::size_t len = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= size) {
            return std::nullopt;
        }
        const std::uint8_t b = d[at++];
        len = (len << 7) | (b & 0x7f);
        if (!(b & 0x80)) {
            break;
        }
    }
    if (len > size - at) {
        return std::nullopt;
    }
    desc.begin = at;
    desc.end = at + len;
    return desc;
}

// Bytes of the ES_Descriptor header before its nested descriptors.
std::size_t esHeaderLength(const std::uint8_t* d, const Descriptor& es) {
    std::size_t at = es.begin + 3;
    if (at > es.end) {
        return es.end - es.begin;
    }
    const std::uint8_t flags = d[es.begin + 2];
    if (flags & 0x80) {
        at += 2;
    }
    if ((flags & 0x40) && at < es.end) {
        at += 1 + d[at];
    }
    if (flags & 0x20) {
        at += 2;
    }
    return (at > es.end ? es.end : at) - es.begin;
}

} // namespace

std::optional<AacConfig> parseEsds(const std::uint8_t* data, std::size_t size) {
    auto es = readDescriptor(data, size, 0);
    if (!es || es->tag != 3) {
        return std::nullopt;
    }
    auto dc = readDescriptor(data, es->end, es->begin + esHeaderLength(data, *es));
    if (!dc || dc->tag != 4 || dc->end - dc->begin < 13) {
        return std::nullopt;
    }
    const std::uint8_t objectTypeIndication = data[dc->begin];
    if (objectTypeIndication != 0x40 && objectTypeIndication != 0x66 &&
        objectTypeIndication != 0x67 && objectTypeIndication != 0x68) {
        return std::nullopt;
    }
    auto dsi = readDescriptor(data, dc->end, dc->begin + 13);
    if (!dsi || dsi->tag != 5 || dsi->end == dsi->begin) {
        return std::nullopt;
    }
    AacConfig cfg;
    cfg.audioSpecificConfig.assign(data + dsi->begin, data + dsi->end);
    if (!describeAudioSpecificConfig(cfg)) {
        return std::nullopt;
    }
    return cfg;
}

bool describeAudioSpecificConfig(AacConfig& cfg) {
    BitReader br(cfg.audioSpecificConfig.data(), cfg.audioSpecificConfig.size());
    cfg.objectType = static_cast<int>(br.bits(5));
    if (cfg.objectType == 31) {
        cfg.objectType = 32 + static_cast<int>(br.bits(6));
    }
    const std::uint32_t rateIndex = br.bits(4);
    if (rateIndex == 15) {
        cfg.sampleRate = br.bits(24);
    } else if (rateIndex < sizeof kRates / sizeof kRates[0]) {
        cfg.sampleRate = kRates[rateIndex];
    }
    cfg.channels = static_cast<int>(br.bits(4));
    return !br.failed() && cfg.sampleRate != 0;
}

} // namespace repair
