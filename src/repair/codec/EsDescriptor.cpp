#include "codec/EsDescriptor.h"

namespace repair {
namespace {

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

// DecoderConfigDescriptor fields before its nested descriptors.
constexpr std::size_t kConfigFields = 13;

} // namespace

std::optional<EsConfig> parseEsConfig(const std::uint8_t* data, std::size_t size) {
    auto es = readDescriptor(data, size, 0);
    if (!es || es->tag != 3) {
        return std::nullopt;
    }
    auto dc = readDescriptor(data, es->end, es->begin + esHeaderLength(data, *es));
    if (!dc || dc->tag != 4 || dc->end - dc->begin < kConfigFields) {
        return std::nullopt;
    }
    EsConfig cfg;
    cfg.objectType = data[dc->begin];
    cfg.streamType = static_cast<std::uint8_t>(data[dc->begin + 1] >> 2);
    auto dsi = readDescriptor(data, dc->end, dc->begin + kConfigFields);
    if (dsi && dsi->tag == 5) {
        cfg.specificInfo.assign(data + dsi->begin, data + dsi->end);
    }
    return cfg;
}

} // namespace repair
