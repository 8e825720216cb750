#include "write/NewTrack.h"

#include "box/BoxWriter.h"

#include <bit>
#include <cstring>

namespace repair {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kFixedOne = 0x00010000;
constexpr std::uint16_t kUndetermined = 0x55C4; // language "und"

void matrix(BoxWriter& w) {
    for (const std::uint32_t v : {kFixedOne, 0u, 0u, 0u, kFixedOne, 0u, 0u, 0u, 0x40000000u}) {
        w.u32(v);
    }
}

Bytes hdlr(std::uint32_t handler) {
    BoxWriter w;
    const auto box = w.openFull(fourcc("hdlr"), 0, 0);
    w.u32(0);
    w.u32(handler);
    w.zeros(12);
    const char* name = isVideoHandler(handler) ? "VideoHandler" : "SoundHandler";
    w.raw(Bytes(name, name + std::strlen(name) + 1));
    w.close(box);
    return w.bytes();
}

Bytes mediaHeader(std::uint32_t handler) {
    BoxWriter w;
    if (isVideoHandler(handler)) {
        const auto box = w.openFull(fourcc("vmhd"), 0, 1);
        w.zeros(8);
        w.close(box);
    } else {
        const auto box = w.openFull(fourcc("smhd"), 0, 0);
        w.zeros(4);
        w.close(box);
    }
    return w.bytes();
}

Bytes dinf() {
    BoxWriter w;
    const auto box = w.open(fourcc("dinf"));
    const auto dref = w.openFull(fourcc("dref"), 0, 0);
    w.u32(1);
    w.close(w.openFull(fourcc("url "), 0, 1)); // the media is in this file
    w.close(dref);
    w.close(box);
    return w.bytes();
}

void childBox(BoxWriter& w, std::uint32_t type, const Bytes& payload) {
    if (type != 0) {
        const auto box = w.open(type);
        w.raw(payload);
        w.close(box);
    }
}

// An stsd of one sample entry: the entry's own header (six reserved bytes, data reference
// 1), the fields of its kind as `fields` writes them, then its decoder configuration box.
template <typename Fields>
Bytes oneEntryStsd(std::uint32_t codec, std::uint32_t configType, const Bytes& config,
                   Fields&& fields) {
    BoxWriter w;
    const auto stsd = w.openFull(fourcc("stsd"), 0, 0);
    w.u32(1);
    const auto entry = w.open(codec);
    w.zeros(6);
    w.u16(1); // data reference
    fields(w);
    childBox(w, configType, config);
    w.close(entry);
    w.close(stsd);
    return w.bytes();
}

} // namespace

Bytes newMvhd(std::uint32_t timescale, std::uint32_t lastTrackId) {
    BoxWriter w;
    const auto box = w.openFull(fourcc("mvhd"), 0, 0);
    w.zeros(8);
    w.u32(timescale);
    w.u32(0);
    w.u32(kFixedOne);
    w.u16(0x0100);
    w.zeros(10);
    matrix(w);
    w.zeros(24);
    w.u32(lastTrackId + 1);
    w.close(box);
    return w.bytes();
}

void giveTrackBoxes(RefTrack& t, int width, int height) {
    BoxWriter tkhd;
    const auto th = tkhd.openFull(fourcc("tkhd"), 0, 3); // enabled, in the movie
    tkhd.zeros(8);
    tkhd.u32(t.id);
    tkhd.zeros(8);
    tkhd.zeros(8);
    tkhd.u32(0); // layer, alternate group
    tkhd.u16(isVideoHandler(t.handler) ? 0 : 0x0100);
    tkhd.u16(0);
    matrix(tkhd);
    tkhd.u32(static_cast<std::uint32_t>(width) << 16);
    tkhd.u32(static_cast<std::uint32_t>(height) << 16);
    tkhd.close(th);
    t.tkhd = tkhd.bytes();
    BoxWriter mdhd;
    const auto mh = mdhd.openFull(fourcc("mdhd"), 0, 0);
    mdhd.zeros(8);
    mdhd.u32(t.timescale);
    mdhd.u32(0);
    mdhd.u16(kUndetermined);
    mdhd.u16(0);
    mdhd.close(mh);
    t.mdhd = mdhd.bytes();
    t.mdiaOther = {hdlr(t.handler)};
    t.minfOther = {mediaHeader(t.handler), dinf()};
}

Bytes videoStsd(std::uint32_t codec, int width, int height, std::uint32_t configType,
                const Bytes& config) {
    return oneEntryStsd(codec, configType, config, [&](BoxWriter& w) {
        w.zeros(16);
        w.u16(static_cast<std::uint16_t>(width));
        w.u16(static_cast<std::uint16_t>(height));
        w.u32(0x00480000); // 72 dpi
        w.u32(0x00480000);
        w.u32(0);
        w.u16(1); // frames per sample
        w.zeros(32);
        w.u16(0x0018);
        w.u16(0xffff);
    });
}

Bytes soundStsd(std::uint32_t codec, const SoundInfo& info, std::uint32_t configType,
                const Bytes& config) {
    return oneEntryStsd(codec, configType, config, [&](BoxWriter& w) {
        w.u16(static_cast<std::uint16_t>(info.version));
        w.zeros(6);
        if (info.version == 2) {
            w.u16(3);
            w.u16(16);
            w.u16(0xfffe);
            w.u16(0);
            w.u32(kFixedOne);
            w.u32(72);
            w.u64(std::bit_cast<std::uint64_t>(info.sampleRate));
            w.u32(static_cast<std::uint32_t>(info.channels));
            w.u32(0x7F000000);
            w.u32(static_cast<std::uint32_t>(info.bitsPerSample));
            w.u32(info.formatFlags);
            w.u32(info.bytesPerFrame);
            w.u32(info.framesPerPacket);
        } else {
            w.u16(static_cast<std::uint16_t>(info.channels));
            w.u16(static_cast<std::uint16_t>(info.bitsPerSample));
            w.u32(0);
            w.u32(static_cast<std::uint32_t>(info.sampleRate) << 16);
        }
    });
}

} // namespace repair
