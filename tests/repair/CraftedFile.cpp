#include "CraftedFile.h"

#include "BoxBuilder.h"

#include <algorithm>

using camlayout::BoxBuilder;

namespace {

void pairs(BoxBuilder& w, const char (&type)[5], const Pairs& p, std::optional<std::uint32_t> n,
           std::uint8_t version = 0) {
    w.beginFull(type, version, 0);
    w.u32(n.value_or(static_cast<std::uint32_t>(p.size())));
    for (const auto& [count, value] : p) {
        w.u32s({count, value});
    }
    w.end();
}

void stbl(BoxBuilder& w, const CraftedTrack& t, std::uint64_t media) {
    w.begin("stbl");
    w.append(camlayout::oneEntryStsd(t.sound ? "twos" : "avc1", !t.sound, t.sound ? 2 : 0,
                                     t.sound ? 48000 : 0));
    pairs(w, "stts", t.stts, t.sttsCount);
    if (t.ctts) {
        pairs(w, "ctts", *t.ctts, std::nullopt, t.cttsVersion);
    }
    if (t.stss) {
        w.beginFull("stss", 0, 0);
        w.u32(t.stssCount.value_or(static_cast<std::uint32_t>(t.stss->size())));
        w.u32s(*t.stss);
        w.end();
    }
    w.beginFull("stsz", 0, 0);
    w.u32s({t.stszSize, t.stszCount.value_or(static_cast<std::uint32_t>(t.sizes.size()))});
    w.u32s(t.sizes);
    w.end();
    w.beginFull("stsc", 0, 0);
    w.u32(static_cast<std::uint32_t>(t.stsc.size()));
    for (const auto& e : t.stsc) {
        w.u32s({e[0], e[1], e[2]});
    }
    w.end();
    w.beginFull(t.co64 ? "co64" : "stco", 0, 0);
    std::vector<std::uint64_t> offsets;
    for (auto c : t.chunks) {
        offsets.push_back(static_cast<std::uint64_t>(static_cast<std::int64_t>(media) + c));
    }
    if (t.farChunk) {
        offsets.push_back(t.farChunk);
    }
    w.u32(t.chunkCount.value_or(static_cast<std::uint32_t>(offsets.size())));
    for (auto at : offsets) {
        w.uint(at, t.co64);
    }
    w.end(2);
}

} // namespace

std::vector<std::uint8_t> craftMoov(const CraftedTrack& t, std::uint64_t media) {
    BoxBuilder w;
    w.begin("moov");
    w.beginFull("mvhd", 0, 0);
    w.u32s({0, 0, 1000});
    w.zeros(84);
    w.end();
    w.begin("trak");
    w.beginFull("tkhd", 0, 3);
    w.u32s({0, 0, 1}); // track id 1
    w.zeros(68);
    w.end();
    w.begin("mdia");
    w.beginFull("mdhd", 0, 0);
    w.u32s({0, 0, t.sound ? 48000u : 90000u, 0, 0});
    w.end();
    w.beginFull("hdlr", 0, 0);
    w.u32(0);
    w.fourcc(t.sound ? "soun" : "vide");
    w.zeros(13);
    w.end();
    w.begin("minf");
    stbl(w, t, media);
    w.end(4);
    return w.bytes();
}

std::vector<std::uint8_t> craftFile(const CraftedTrack& t, std::uint64_t held) {
    BoxBuilder w;
    w.begin("ftyp");
    w.text("isom");
    w.u32(0);
    w.end();
    w.append(craftMoov(t, 16 + craftMoov(t, 0).size() + 8));
    w.u32(0); // mdat to the end of the file
    w.fourcc("mdat");
    std::vector<std::uint8_t> f = w.bytes();
    for (std::uint64_t i = 0; i < held; ++i) {
        f.push_back(static_cast<std::uint8_t>(i * 7));
    }
    return f;
}

std::size_t HugeSource::read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
    const std::size_t n = offset >= size_ ? 0 : std::min<std::uint64_t>(count, size_ - offset);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = offset + i < head_.size() ? head_[offset + i] : 0;
    }
    return n;
}
