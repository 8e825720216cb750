#include "CraftedFile.h"

#include "box/BoxWriter.h"
#include "box/Endian.h"

#include <algorithm>

using namespace repair;

namespace {

void sampleEntry(BoxWriter& w, bool sound) {
    const auto stsd = w.openFull(fourcc("stsd"), 0, 0);
    w.u32(1);
    const auto entry = w.open(fourcc(sound ? "twos" : "avc1"));
    w.zeros(6);
    w.u16(1); // data reference
    if (sound) {
        w.zeros(8); // version, revision, vendor
        w.u16(2);   // channels
        w.u16(16);  // bits
        w.zeros(4);
        w.u32(48000u << 16);
    } else {
        w.zeros(70);
    }
    w.close(entry);
    w.close(stsd);
}

void pairs(BoxWriter& w, const char (&type)[5], const Pairs& p, std::optional<std::uint32_t> n,
           std::uint8_t version = 0) {
    const auto box = w.openFull(fourcc(type), version, 0);
    w.u32(n.value_or(static_cast<std::uint32_t>(p.size())));
    for (const auto& [count, value] : p) {
        w.u32(count);
        w.u32(value);
    }
    w.close(box);
}

void stbl(BoxWriter& w, const CraftedTrack& t, std::uint64_t media) {
    const auto box = w.open(fourcc("stbl"));
    sampleEntry(w, t.sound);
    pairs(w, "stts", t.stts, t.sttsCount);
    if (t.ctts) {
        pairs(w, "ctts", *t.ctts, std::nullopt, t.cttsVersion);
    }
    if (t.stss) {
        const auto stss = w.openFull(fourcc("stss"), 0, 0);
        w.u32(t.stssCount.value_or(static_cast<std::uint32_t>(t.stss->size())));
        for (auto s : *t.stss) {
            w.u32(s);
        }
        w.close(stss);
    }
    const auto stsz = w.openFull(fourcc("stsz"), 0, 0);
    w.u32(t.stszSize);
    w.u32(t.stszCount.value_or(static_cast<std::uint32_t>(t.sizes.size())));
    for (auto s : t.sizes) {
        w.u32(s);
    }
    w.close(stsz);
    const auto stsc = w.openFull(fourcc("stsc"), 0, 0);
    w.u32(static_cast<std::uint32_t>(t.stsc.size()));
    for (const auto& e : t.stsc) {
        w.u32(e[0]);
        w.u32(e[1]);
        w.u32(e[2]);
    }
    w.close(stsc);
    const auto co = w.openFull(fourcc(t.co64 ? "co64" : "stco"), 0, 0);
    std::vector<std::uint64_t> offsets;
    for (auto c : t.chunks) {
        offsets.push_back(static_cast<std::uint64_t>(static_cast<std::int64_t>(media) + c));
    }
    if (t.farChunk) {
        offsets.push_back(t.farChunk);
    }
    w.u32(t.chunkCount.value_or(static_cast<std::uint32_t>(offsets.size())));
    for (auto at : offsets) {
        t.co64 ? w.u64(at) : w.u32(static_cast<std::uint32_t>(at));
    }
    w.close(co);
    w.close(box);
}

} // namespace

std::vector<std::uint8_t> craftMoov(const CraftedTrack& t, std::uint64_t media) {
    BoxWriter w;
    const auto moov = w.open(fourcc("moov"));
    const auto mvhd = w.openFull(fourcc("mvhd"), 0, 0);
    w.zeros(8);
    w.u32(1000);
    w.zeros(84);
    w.close(mvhd);
    const auto trak = w.open(fourcc("trak"));
    const auto tkhd = w.openFull(fourcc("tkhd"), 0, 3);
    w.zeros(8);
    w.u32(1); // track id
    w.zeros(68);
    w.close(tkhd);
    const auto mdia = w.open(fourcc("mdia"));
    const auto mdhd = w.openFull(fourcc("mdhd"), 0, 0);
    w.zeros(8);
    w.u32(t.sound ? 48000 : 90000);
    w.zeros(8);
    w.close(mdhd);
    const auto hdlr = w.openFull(fourcc("hdlr"), 0, 0);
    w.u32(0);
    w.u32(fourcc(t.sound ? "soun" : "vide"));
    w.zeros(13);
    w.close(hdlr);
    const auto minf = w.open(fourcc("minf"));
    stbl(w, t, media);
    w.close(minf);
    w.close(mdia);
    w.close(trak);
    w.close(moov);
    return w.bytes();
}

std::vector<std::uint8_t> craftFile(const CraftedTrack& t, std::uint64_t held) {
    std::vector<std::uint8_t> f = {0, 0, 0, 16, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 0, 0};
    const std::uint64_t media = f.size() + craftMoov(t, 0).size() + 8;
    const auto m = craftMoov(t, media);
    f.insert(f.end(), m.begin(), m.end());
    putBe32(f, 0); // mdat to the end of the file
    putBe32(f, fourcc("mdat"));
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
