// A raw_data_block walked element by element without decoding: where it ends is what a
// run of raw AAC frames needs, and finding that costs a small part of a full decode.
#include "codec/AacSyntax.h"

#include "codec/AacIcs.h"
#include "codec/BitReader.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace repair {
namespace {

enum Element { Sce = 0, Cpe = 1, Cce = 2, Lfe = 3, Dse = 4, Pce = 5, Fil = 6, End = 7 };
enum Extension { ExtFill = 0, ExtDynamicRange = 11, ExtSbr = 13, ExtSbrCrc = 14 };

int objectType(BitReader& br) {
    const int type = static_cast<int>(br.bits(5));
    return type == 31 ? 32 + static_cast<int>(br.bits(6)) : type;
}

int samplingIndex(BitReader& br) {
    const int index = static_cast<int>(br.bits(4));
    if (index == 15) {
        br.skip(24);
    }
    return index;
}

// libavcodec places channel elements by configuration in a fixed order; configurations 1
// and 2 take either one channel or one pair (it switches between mono and stereo), and the
// last single channel of 4, 6 and 7 may come as an LFE or as an SCE.
bool admits(int config, int placed, int type) {
    if (config <= 2) {
        return placed == 0 && (type == Sce || type == Cpe);
    }
    static constexpr std::string_view kOrders[8] = {"",    "",    "",     "SC",
                                                    "SCs", "SCC", "SCCs", "SCCCs"};
    const std::string_view order = kOrders[config];
    if (static_cast<std::size_t>(placed) >= order.size()) {
        return false;
    }
    const char want = order[static_cast<std::size_t>(placed)];
    return (want == 'S' && type == Sce) || (want == 'C' && type == Cpe) ||
           (want == 's' && (type == Sce || type == Lfe));
}

bool readCpe(AacBits& bits, const AacLayout& layout) {
    AacWindows w;
    const bool common = bits.flag();
    if (common) {
        if (!readIcsInfo(bits, layout, w)) {
            return false;
        }
        if (w.predictor && layout.objectType != kAacMain && bits.flag()) {
            skipLtp(bits, w.maxSfb); // the second channel's
        }
        const std::uint32_t ms = bits.read(2);
        if (ms == 3) {
            return false;
        }
        if (ms == 1) {
            bits.skip(static_cast<std::size_t>(w.groups * w.maxSfb));
        }
    }
    AacWindows second = w;
    return readIcs(bits, layout, w, common) && readIcs(bits, layout, second, common);
}

bool readDse(AacBits& bits) {
    const bool align = bits.flag();
    std::size_t count = bits.read(8);
    if (count == 255) {
        count += bits.read(8);
    }
    if (align) {
        bits.alignToByte();
    }
    if (bits.left() < 8 * count) {
        return false;
    }
    bits.skip(8 * count);
    return true;
}

// dynamic_range_info, read as libavcodec reads it; how many bytes it said it took.
int readDynamicRange(AacBits& bits) {
    int bytes = 1;
    if (bits.flag()) {
        bits.skip(8); // program element tag
        ++bytes;
    }
    if (bits.flag()) { // excluded channels: 7 at a time, while a flag says more
        int channels = 0;
        do {
            bits.skip(7);
            channels += 7;
        } while (channels < 57 && bits.flag());
        bytes += channels / 7;
    }
    int bands = 1;
    if (bits.flag()) {
        bands += static_cast<int>(bits.read(4));
        bits.skip(4); // interpolation
        bits.skip(static_cast<std::size_t>(8 * bands));
        bytes += 1 + bands;
    }
    if (bits.flag()) {
        bits.skip(8); // program reference level
        ++bytes;
    }
    bits.skip(static_cast<std::size_t>(8 * bands));
    return bytes + bands;
}

// Fill text that names libfaac makes libavcodec drop the next 1024 samples it decodes.
bool namesFaac(const AacBits& at, int count) {
    if (8 * count - 4 < 13 + 7 * 8) {
        return false;
    }
    AacBits text = at;
    text.skip(13);
    for (const char c : std::string_view("libfaac")) {
        if (text.read(8) != static_cast<std::uint8_t>(c)) {
            return false;
        }
    }
    return true;
}

// extension_payload()s of a fill element, count bytes in all.
AacBlock::Result readFill(AacBits& bits, int count, bool afterChannel, std::size_t& needed) {
    if (count == 15) {
        count += static_cast<int>(bits.read(8)) - 1;
    }
    if (bits.left() < 8 * static_cast<std::size_t>(count)) {
        return AacBlock::Result::Bad;
    }
    needed = std::max(needed, bits.position() + 8 * static_cast<std::size_t>(count));
    while (count > 0) {
        const std::uint32_t type = bits.read(4);
        if (type == ExtDynamicRange) {
            count -= readDynamicRange(bits);
            continue;
        }
        if (type == ExtFill && namesFaac(bits, count)) {
            return AacBlock::Result::Unknown;
        }
        // Of SBR data ahead of any channel libavcodec takes the type alone, and reads on
        // from there as if elements followed.
        if ((type != ExtSbr && type != ExtSbrCrc) || afterChannel) {
            bits.skip(8 * static_cast<std::size_t>(count) - 4);
        }
        count = 0;
    }
    return AacBlock::Result::Ok;
}

} // namespace

std::optional<AacLayout> aacLayout(const std::vector<std::uint8_t>& asc) {
    BitReader br(asc.data(), asc.size());
    AacLayout l;
    int type = objectType(br);
    l.samplingIndex = samplingIndex(br);
    l.channelConfig = static_cast<int>(br.bits(4));
    BitReader ahead = br;
    const std::uint32_t next9 = ahead.bits(9);
    // Object type 29 is PS, unless the bits after it look like an MP3-on-MP4 configuration.
    if (type == 5 || (type == 29 && !((next9 >> 6 & 3) != 0 && (next9 & 0x3f) == 0))) {
        samplingIndex(br); // of the SBR output
        type = objectType(br);
    }
    l.objectType = type;
    const bool shortFrames = br.flag();
    if (br.failed() || shortFrames || l.samplingIndex > 12 || l.channelConfig < 1 ||
        l.channelConfig > 7 || (type != kAacMain && type != kAacLc && type != kAacLtp)) {
        return std::nullopt;
    }
    return l;
}

AacBlock walkRawDataBlock(const AacLayout& layout, const std::uint8_t* data, std::size_t size) {
    AacBits bits(data, size);
    AacBlock block;
    if (bits.peek() >> 20 == 0xfff) {
        block.result = AacBlock::Result::Unknown; // libavcodec reads an ADTS header here
        return block;
    }
    std::array<std::array<std::uint8_t, 16>, 4> seen{};
    int placed = 0;
    bool afterChannel = false;
    for (int type = static_cast<int>(bits.read(3)); type != End;
         type = static_cast<int>(bits.read(3))) {
        const auto id = bits.read(4);
        bool ok = true;
        if (type < Dse) {
            auto& times = seen[static_cast<std::size_t>(type)][id];
            if (times > 1 || !admits(layout.channelConfig, placed, type)) {
                return block;
            }
            ++times;
            ++placed;
            block.audio = true;
            block.channels += type == Cpe ? 2 : 1;
        }
        if (type == Sce || type == Lfe) {
            AacWindows w;
            ok = readIcs(bits, layout, w, false);
        } else if (type == Cpe) {
            ok = readCpe(bits, layout);
        } else if (type == Dse) {
            ok = readDse(bits);
        } else if (type == Fil) {
            const auto r = readFill(bits, static_cast<int>(id), afterChannel, block.neededBits);
            if (r == AacBlock::Result::Unknown) {
                block.result = r;
                return block;
            }
            ok = r == AacBlock::Result::Ok;
        } else { // a PCE (a CCE was refused above): libavcodec would reconfigure
            block.result = AacBlock::Result::Unknown;
            return block;
        }
        afterChannel = afterChannel || type < Dse;
        if (!ok || bits.left() < 3) {
            return block;
        }
    }
    block.result = AacBlock::Result::Ok;
    block.endBit = bits.position();
    block.neededBits = std::max(block.neededBits, block.endBit);
    return block;
}

AacBlock AacWalker::walk(const std::uint8_t* data, std::size_t size) {
    const std::size_t n = lastBytes_.size();
    if (n != 0 && size >= n && std::equal(lastBytes_.begin(), lastBytes_.end(), data)) {
        return last_;
    }
    const AacBlock b = walkRawDataBlock(layout_, data, size);
    if (b.result == AacBlock::Result::Ok && b.audio) {
        lastBytes_.assign(data, data + (b.neededBits + 7) / 8);
        last_ = b;
    }
    return b;
}

AacStep AacWalker::next(const std::uint8_t* data, std::size_t size, std::size_t at) {
    while (at < size) {
        const AacBlock b = walk(data + at, size - at);
        if (b.result != AacBlock::Result::Ok) {
            return {b.result, at, 0, 0};
        }
        // libavcodec takes the bytes up to the END element's byte, and all the rest of the
        // packet when that is zeros.
        std::size_t length = (b.endBit + 7) / 8;
        const std::uint8_t* rest = data + at + length;
        if (std::all_of(rest, data + size, [](std::uint8_t v) { return v == 0; })) {
            length = size - at;
        }
        if (b.audio) {
            return {AacBlock::Result::Ok, at, length, (b.neededBits + 7) / 8, b.channels};
        }
        at += length;
    }
    return {AacBlock::Result::Bad, at, 0, 0};
}

} // namespace repair
