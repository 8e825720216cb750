#include "MiniMoov.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

constexpr std::uint64_t kMaxMoov = 256ull << 20;
constexpr std::uint64_t kMaxSamples = 50'000'000;

struct Span {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;

    bool has(std::size_t at, std::size_t n) const { return at <= size && n <= size - at; }
    std::uint64_t be(std::size_t at, int bytes) const {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            v = (v << 8) | data[at + static_cast<std::size_t>(i)];
        }
        return v;
    }
    std::uint32_t u32(std::size_t at) const {
        return has(at, 4) ? static_cast<std::uint32_t>(be(at, 4)) : 0;
    }
    std::uint64_t u64(std::size_t at) const { return has(at, 8) ? be(at, 8) : 0; }
    std::string type(std::size_t at) const {
        return has(at, 4) ? std::string(reinterpret_cast<const char*>(data + at), 4) : "";
    }
    Span sub(std::size_t at, std::size_t n) const {
        return has(at, n) ? Span{data + at, n} : Span{};
    }
};

struct Child {
    std::string type;
    Span body;
};

std::vector<Child> children(Span s) {
    std::vector<Child> out;
    std::size_t at = 0;
    while (s.has(at, 8)) {
        std::uint64_t size = s.u32(at);
        std::size_t header = 8;
        if (size == 1) {
            size = s.u64(at + 8);
            header = 16;
        } else if (size == 0) {
            size = s.size - at;
        }
        if (size < header || !s.has(at, size)) {
            break;
        }
        out.push_back({s.type(at + 4), s.sub(at + header, size - header)});
        at += size;
    }
    return out;
}

std::optional<Span> child(Span s, const std::string& type) {
    for (const auto& c : children(s)) {
        if (c.type == type) {
            return c.body;
        }
    }
    return std::nullopt;
}

std::optional<Span> path(Span s, std::initializer_list<const char*> types) {
    for (const char* t : types) {
        const auto c = child(s, t);
        if (!c) {
            return std::nullopt;
        }
        s = *c;
    }
    return s;
}

std::uint8_t version(Span s) {
    return s.size > 0 ? s.data[0] : 0;
}

// Entries of a full box table: count at 4, then `width` bytes each from 8.
std::uint32_t entries(Span s, std::size_t width) {
    const std::uint32_t n = s.u32(4);
    return s.size < 8
               ? 0
               : static_cast<std::uint32_t>(std::min<std::uint64_t>(n, (s.size - 8) / width));
}

std::optional<TableTrack> track(Span trak, std::string& error) {
    TableTrack t;
    const auto tkhd = child(trak, "tkhd");
    const auto mdhd = path(trak, {"mdia", "mdhd"});
    const auto hdlr = path(trak, {"mdia", "hdlr"});
    const auto stbl = path(trak, {"mdia", "minf", "stbl"});
    if (!tkhd || !mdhd || !hdlr || !stbl) {
        error = "a trak lacks tkhd, mdhd, hdlr or stbl";
        return std::nullopt;
    }
    t.id = tkhd->u32(version(*tkhd) == 1 ? 20 : 12);
    t.timescale = mdhd->u32(version(*mdhd) == 1 ? 20 : 12);
    t.handler = hdlr->type(8);
    const auto stsd = child(*stbl, "stsd");
    t.fourcc = stsd ? stsd->type(12) : "";
    const auto stts = child(*stbl, "stts");
    const auto stsc = child(*stbl, "stsc");
    const auto stsz = child(*stbl, "stsz");
    auto stco = child(*stbl, "stco");
    const auto co64 = child(*stbl, "co64");
    if (!stts || !stsc || !stsz || (!stco && !co64)) {
        error = "track " + std::to_string(t.id) + " lacks a sample table box";
        return std::nullopt;
    }
    const std::uint32_t constant = stsz->u32(4);
    t.hasStss = child(*stbl, "stss").has_value();
    t.hasCtts = child(*stbl, "ctts").has_value();
    const std::uint64_t count = std::min<std::uint64_t>(stsz->u32(8), kMaxSamples);
    const std::uint64_t listed =
        constant ? count
                 : std::min<std::uint64_t>(
                       count, (stsz->size - std::min<std::size_t>(stsz->size, 12)) / 4);
    t.samples.resize(listed);
    for (std::uint64_t i = 0; i < listed; ++i) {
        t.samples[i].size = constant ? constant : stsz->u32(12 + 4 * i);
    }
    std::uint64_t i = 0;
    std::uint64_t time = 0;
    for (std::uint32_t e = 0; e < entries(*stts, 8) && i < listed; ++e) {
        const std::uint32_t n = stts->u32(8 + 8 * e);
        const std::uint32_t d = stts->u32(12 + 8 * e);
        for (std::uint32_t k = 0; k < n && i < listed; ++k, ++i) {
            t.samples[i].dts = time;
            t.samples[i].duration = d;
            time += d;
        }
    }
    const bool wide = !stco;
    const Span offsets = wide ? *co64 : *stco;
    const std::uint32_t chunks = entries(offsets, wide ? 8 : 4);
    const std::uint32_t runs = entries(*stsc, 12);
    std::uint64_t s = 0;
    for (std::uint32_t r = 0; r < runs && s < listed; ++r) {
        const std::uint32_t first = stsc->u32(8 + 12 * r);
        const std::uint32_t perChunk = stsc->u32(12 + 12 * r);
        const std::uint32_t last = r + 1 < runs ? stsc->u32(8 + 12 * (r + 1)) - 1 : chunks;
        for (std::uint32_t c = first; c <= std::min(last, chunks) && c >= 1 && s < listed; ++c) {
            std::uint64_t at = wide ? offsets.u64(8 + 8 * (c - 1)) : offsets.u32(8 + 4 * (c - 1));
            for (std::uint32_t k = 0; k < perChunk && s < listed; ++k, ++s) {
                t.samples[s].offset = at;
                at += t.samples[s].size;
            }
        }
    }
    t.samples.resize(s);
    if (const auto stss = child(*stbl, "stss")) {
        for (auto& sample : t.samples) {
            sample.sync = false;
        }
        for (std::uint32_t e = 0; e < entries(*stss, 4); ++e) {
            const std::uint32_t n = stss->u32(8 + 4 * e);
            if (n >= 1 && n <= t.samples.size()) {
                t.samples[n - 1].sync = true;
            }
        }
    }
    if (const auto ctts = child(*stbl, "ctts")) {
        std::uint64_t k = 0;
        for (std::uint32_t e = 0; e < entries(*ctts, 8) && k < t.samples.size(); ++e) {
            const std::uint32_t n = ctts->u32(8 + 8 * e);
            const auto offset = static_cast<std::int32_t>(ctts->u32(12 + 8 * e));
            for (std::uint32_t c = 0; c < n && k < t.samples.size(); ++c, ++k) {
                t.samples[k].compositionOffset =
                    version(*ctts) == 1 ? offset : ctts->u32(12 + 8 * e);
            }
        }
    }
    return t;
}

std::optional<std::vector<std::uint8_t>> moovBytes(const std::string& file, std::string& error) {
    std::error_code ec;
    const std::uint64_t fileSize = std::filesystem::file_size(file, ec);
    for (const auto& b : topBoxes(file)) {
        if (b.type == "moov" && b.size <= fileSize - b.offset && b.size - b.header <= kMaxMoov) {
            std::ifstream in(file, std::ios::binary);
            std::vector<std::uint8_t> body(b.size - b.header);
            if (in.seekg(static_cast<std::streamoff>(b.offset + b.header)) &&
                in.read(reinterpret_cast<char*>(body.data()),
                        static_cast<std::streamsize>(body.size()))) {
                return body;
            }
        }
    }
    error = "no moov box";
    return std::nullopt;
}

} // namespace

std::vector<TopBox> topBoxes(const std::string& file) {
    std::vector<TopBox> out;
    std::ifstream in(file, std::ios::binary);
    std::error_code ec;
    const std::uint64_t fileSize = std::filesystem::file_size(file, ec);
    std::uint64_t at = 0;
    unsigned char h[16];
    while (!ec && at + 8 <= fileSize && in.seekg(static_cast<std::streamoff>(at)) &&
           in.read(reinterpret_cast<char*>(h), 16 > fileSize - at ? 8 : 16)) {
        TopBox b{std::string(reinterpret_cast<char*>(h + 4), 4), at, 8, Span{h, 16}.be(0, 4)};
        if (b.size == 1) {
            b.size = fileSize - at >= 16 ? Span{h, 16}.be(8, 8) : 0;
            b.header = 16;
        } else if (b.size == 0) {
            b.size = fileSize - at;
        }
        if (b.size < b.header) {
            break;
        }
        out.push_back(b);
        if (b.size > fileSize - at) {
            break;
        }
        at += b.size;
    }
    return out;
}

std::optional<std::vector<TableTrack>> readTables(const std::string& file, std::string& error) {
    const auto moov = moovBytes(file, error);
    if (!moov) {
        return std::nullopt;
    }
    std::vector<TableTrack> tracks;
    for (const auto& c : children(Span{moov->data(), moov->size()})) {
        if (c.type != "trak") {
            continue;
        }
        auto t = track(c.body, error);
        if (!t) {
            return std::nullopt;
        }
        tracks.push_back(std::move(*t));
    }
    if (tracks.empty()) {
        error = "moov without tracks";
        return std::nullopt;
    }
    return tracks;
}
