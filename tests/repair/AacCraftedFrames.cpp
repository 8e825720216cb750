// AAC frames built bit by bit around the limits the decoder enforces (TNS order, scalefactor
// range, pulse positions, max_sfb, escape length, element order) and around the odd ways it
// reads fill and data elements: the walk must take or refuse each as a fresh libavcodec
// decoder does, and each must be taken or refused as built to be; followed by other bytes,
// each must be found as long by both.
#include "AacFrameEnds.h"
#include "codec/AacCodebooks.h"
#include "codec/AacFrameFinder.h"

#include <functional>

namespace {

using Bytes = std::vector<std::uint8_t>;

class BitWriter {
public:
    void put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (bits_ % 8 == 0) {
                bytes_.push_back(0);
            }
            const std::uint32_t bit = i < 32 ? (value >> i) & 1u : 0u; // runs of zeros go past 32
            bytes_.back() |= static_cast<std::uint8_t>(bit << (7 - bits_ % 8));
            ++bits_;
        }
    }
    void code(const repair::AacCodebook& book, int symbol) {
        put(book.codes[symbol], book.bits[symbol]);
    }
    void align() { put(0, (8 - bits_ % 8) % 8); }
    Bytes bytes() const { return bytes_; }

private:
    Bytes bytes_;
    int bits_ = 0;
};

enum Element { Sce = 0, Cpe = 1, Lfe = 3, Dse = 4, Fil = 6, End = 7 };

// ics_info of a long window (48 kHz: 49 bands).
void longInfo(BitWriter& w, int maxSfb) {
    w.put(0, 1 + 2 + 1); // reserved, ONLY_LONG_SEQUENCE, window shape
    w.put(static_cast<std::uint32_t>(maxSfb), 6);
    w.put(0, 1); // no predictor data
}

// One section of `bands` bands of codebook `book` (long windows).
void section(BitWriter& w, int book, int bands) {
    w.put(static_cast<std::uint32_t>(book), 4);
    for (; bands >= 31; bands -= 31) {
        w.put(31, 5);
    }
    w.put(static_cast<std::uint32_t>(bands), 5);
}

// A single channel of maxSfb bands, all zero; `tools` writes pulse, TNS and gain control.
void silentChannel(BitWriter& w, int type, int maxSfb,
                   const std::function<void(BitWriter&)>& tools) {
    w.put(static_cast<std::uint32_t>(type), 3);
    w.put(0, 4);   // element instance tag
    w.put(100, 8); // global gain
    longInfo(w, maxSfb);
    if (maxSfb > 0) {
        section(w, 0, maxSfb);
    }
    if (tools) {
        tools(w);
    } else {
        w.put(0, 3); // no pulse, TNS or gain control data
    }
}

void noTools(BitWriter& w) {
    w.put(0, 3);
}

// One band coded with book 1, its scalefactor `diff` away from a global gain of `gain`.
Bytes scalefactor(int gain, int diff) {
    BitWriter w;
    w.put(Sce, 3);
    w.put(0, 4);
    w.put(static_cast<std::uint32_t>(gain), 8);
    longInfo(w, 1);
    section(w, 1, 1);
    w.code(repair::aacScalefactorBook(), 60 + diff);
    noTools(w);
    w.code(repair::aacSpectralBook(1), 40); // four zeros
    w.put(End, 3);
    return w.bytes();
}

// One band of book 11 whose first pair is an escape of `ones` leading ones.
Bytes escape(int ones) {
    BitWriter w;
    w.put(Sce, 3);
    w.put(0, 4);
    w.put(100, 8);
    longInfo(w, 1);
    section(w, 11, 1);
    w.code(repair::aacScalefactorBook(), 60);
    noTools(w);
    w.code(repair::aacSpectralBook(11), 16 * 17); // (16, 0)
    w.put(0, 1);                                  // its sign
    w.put((1u << ones) - 1, ones);
    w.put(0, 1);
    w.put(0, ones + 4);
    w.code(repair::aacSpectralBook(11), 0); // (0, 0)
    w.put(End, 3);
    return w.bytes();
}

Bytes tns(int order) {
    BitWriter w;
    silentChannel(w, Sce, 0, [order](BitWriter& t) {
        t.put(0, 1); // no pulse data
        t.put(1, 1); // TNS: one filter, 3-bit coefficients
        t.put(1, 2);
        t.put(0, 1);
        t.put(20, 6);
        t.put(static_cast<std::uint32_t>(order), 5);
        t.put(0, 2); // direction, no compression
        t.put(0, 3 * order);
        t.put(0, 1); // no gain control data
    });
    w.put(End, 3);
    return w.bytes();
}

// Pulses from band `band`, each `step` after the last (the first is 31 into the band).
Bytes pulses(int band, int last) {
    BitWriter w;
    silentChannel(w, Sce, 0, [band, last](BitWriter& t) {
        t.put(1, 1);
        t.put(3, 2); // four pulses
        t.put(static_cast<std::uint32_t>(band), 6);
        for (int offset : {31, 31, 31, last}) {
            t.put(static_cast<std::uint32_t>(offset), 5);
            t.put(1, 4);
        }
        t.put(0, 2); // no TNS or gain control data
    });
    w.put(End, 3);
    return w.bytes();
}

Bytes maxSfb(int bands) {
    BitWriter w;
    silentChannel(w, Sce, bands, nullptr);
    w.put(End, 3);
    return w.bytes();
}

Bytes gainControl() {
    BitWriter w;
    silentChannel(w, Sce, 0, [](BitWriter& t) {
        t.put(0, 2);
        t.put(1, 1); // gain control: one band, one adjustment
        t.put(1, 2);
        t.put(1, 3);
        t.put(0, 4 + 5);
    });
    w.put(End, 3);
    return w.bytes();
}

Bytes channelPair(int ms) {
    BitWriter w;
    w.put(Cpe, 3);
    w.put(0, 4);
    w.put(1, 1); // common window
    longInfo(w, 2);
    w.put(static_cast<std::uint32_t>(ms), 2);
    w.put(ms == 1 ? 2 : 0, ms == 1 ? 2 : 0); // mask bits
    for (int ch = 0; ch < 2; ++ch) {
        w.put(100, 8);
        section(w, 0, 2);
        noTools(w);
    }
    w.put(End, 3);
    return w.bytes();
}

Bytes elements(const std::vector<int>& types) {
    BitWriter w;
    for (int type : types) {
        if (type == Cpe) {
            w.put(Cpe, 3);
            w.put(0, 4);
            w.put(0, 1); // separate windows
            for (int ch = 0; ch < 2; ++ch) {
                w.put(100, 8);
                longInfo(w, 0);
                noTools(w);
            }
        } else {
            silentChannel(w, type, 0, nullptr);
        }
    }
    w.put(End, 3);
    return w.bytes();
}

// A data element of `count` bytes (255 and more take a second count byte), aligned or not.
Bytes dataElement(int count, bool align, int present) {
    BitWriter w;
    silentChannel(w, Sce, 0, nullptr);
    w.put(Dse, 3);
    w.put(0, 4);
    w.put(align ? 1 : 0, 1);
    w.put(static_cast<std::uint32_t>(std::min(count, 255)), 8);
    if (count >= 255) {
        w.put(static_cast<std::uint32_t>(count - 255), 8);
    }
    if (align) {
        w.align();
    }
    w.put(0, 8 * present);
    w.put(End, 3);
    return w.bytes();
}

// A fill element of `count` bytes before or after the channel, holding one extension payload
// of the given bytes and zero bits.
Bytes fill(int extension, bool beforeChannel, int count, const Bytes& payload, int zeros) {
    BitWriter w;
    const auto element = [&] {
        w.put(Fil, 3);
        w.put(static_cast<std::uint32_t>(std::min(count, 15)), 4);
        if (count >= 15) {
            w.put(static_cast<std::uint32_t>(count - 14), 8);
        }
        w.put(static_cast<std::uint32_t>(extension), 4);
        for (std::uint8_t byte : payload) {
            w.put(byte, 8);
        }
        w.put(0, zeros);
    };
    if (beforeChannel) {
        element();
    }
    silentChannel(w, Sce, 0, nullptr);
    if (!beforeChannel) {
        element();
    }
    w.put(End, 3);
    w.put(0, 32); // room for what a fill element claims
    return w.bytes();
}

struct Crafted {
    const char* name;
    int config; // channel configuration, 48 kHz AAC LC
    Bytes frame;
    bool taken;
};

std::vector<Crafted> crafted() {
    return {
        {"a silent channel", 1, maxSfb(0), true},
        {"scalefactor 255", 1, scalefactor(254, 1), true},
        {"scalefactor 256", 1, scalefactor(255, 1), false},
        {"scalefactor -1", 1, scalefactor(0, -1), false},
        {"escape of 8 ones", 1, escape(8), true},
        {"escape of 9 ones", 1, escape(9), false},
        {"TNS order 12", 1, tns(12), true},
        {"TNS order 13", 1, tns(13), false},
        {"pulses up to 1023", 1, pulses(48, 2), true},
        {"pulses up to 1024", 1, pulses(48, 3), false},
        {"pulses from band 49", 1, pulses(49, 0), false},
        {"max_sfb 49", 1, maxSfb(49), true},
        {"max_sfb 50", 1, maxSfb(50), false},
        {"gain control data", 1, gainControl(), true},
        {"M/S by mask", 2, channelPair(1), true},
        {"M/S all", 2, channelPair(2), true},
        {"M/S reserved", 2, channelPair(3), false},
        {"a pair in mono", 1, elements({Cpe}), true},
        {"a single channel in stereo", 2, elements({Sce}), true},
        {"two single channels in mono", 1, elements({Sce, Sce}), false},
        {"an LFE in mono", 1, elements({Lfe}), false},
        {"5.1 in order", 6, elements({Sce, Cpe, Cpe, Lfe}), true},
        {"5.1 ending on an SCE", 6, elements({Sce, Cpe, Cpe, Sce}), true},
        {"5.1 starting on a pair", 6, elements({Cpe, Cpe, Sce, Lfe}), false},
        {"5.1 with a pair too many", 6, elements({Sce, Cpe, Cpe, Cpe}), false},
        {"data element, aligned", 1, dataElement(3, true, 3), true},
        {"data element of 300 bytes", 1, dataElement(300, false, 300), true},
        {"data element past the end", 1, dataElement(40, false, 30), false},
        {"fill data", 1, fill(1, false, 13, Bytes(12, 0x55), 4), true},
        {"fill of an escaped count", 1, fill(1, false, 20, Bytes(19, 0x33), 4), true},
        {"fill data cut short", 1, fill(1, false, 20, Bytes(), 0), false},
        {"SBR data after the channel", 1, fill(13, false, 2, {0xAA}, 4), true},
        // libavcodec takes only its type and reads on from there: the channel follows.
        {"SBR data before any channel", 1, fill(13, true, 2, {}, 0), true},
        // ... though what its count claims must be there.
        {"SBR data before any channel, claiming past the frame", 1, fill(13, true, 40, {}, 0),
         false},
        {"dynamic range of one band", 1, fill(11, false, 2, {0x05}, 4), true},
        // Bands said present: 4 bytes read where the element has 1; reading goes on after them.
        {"dynamic range longer than its element", 1, fill(11, false, 1, {0x20, 0, 0}, 4), true},
    };
}

std::vector<std::uint8_t> ascFor(int config) {
    // AAC LC, 48 kHz, the channel configuration, 1024-sample frames.
    const std::uint32_t v = 2u << 11 | 3u << 7 | static_cast<std::uint32_t>(config) << 3;
    return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

} // namespace

void checkAacCraftedFrames(Checks& c) {
    for (const Crafted& k : crafted()) {
        repair::AacConfig config;
        config.audioSpecificConfig = ascFor(k.config);
        repair::describeAudioSpecificConfig(config);
        repair::AacFrameFinder walk(config, 0);
        repair::AacFrameFinder decode(config, 0, false);
        const bool taken = decode.decodes(k.frame.data(), k.frame.size());
        c.equal(taken, k.taken, std::string("AAC crafted: ") + k.name + ", decoded");
        c.equal(walk.decodes(k.frame.data(), k.frame.size()), taken,
                std::string("AAC crafted: ") + k.name + ", walked");
        // Followed by other bytes, the frame is found as long by both.
        Bytes data = k.frame;
        data.insert(data.end(), 200, 0x5a);
        repair::AacFrameFinder::View view;
        view.reachesEnd = true;
        view.endIsReal = true;
        const auto other = [&](std::size_t i) { return i >= data.size(); };
        const auto sure = [](std::size_t) { return false; };
        c.expect(walk.frames(data.data(), data.size(), view, other, sure) ==
                     decode.frames(data.data(), data.size(), view, other, sure),
                 std::string("AAC crafted: ") + k.name + ", found as long");
    }
}
