#include "codec/HevcDefaults.h"

#include "codec/BitWriter.h"
#include "codec/ConfigRecord.h"

namespace repair {
namespace {

constexpr std::uint8_t kLevel = 93; // 3.1, for 1280x720

// What the kinds set (kinds that differ only in how hard they search share one).
const std::vector<X265Tools> kTools = {
    {"veryfast to slow", 3, 6, 0, false, true, true, false, 1, true, false, 4, 5},
    {"ultrafast", 4, 5, 0, false, false, false, false, 0, false, false, 4, 4},
    {"superfast", 3, 5, 0, false, false, true, false, 0, false, false, 4, 4},
    {"slower or veryslow", 3, 6, 2, true, true, true, false, 1, true, true, 5, 9},
    {"placebo", 3, 6, 3, true, true, true, true, 1, true, true, 5, 9},
};

// profile_tier_level() of Main (8-bit) or Main 10, progressive frames, no sub-layers.
void mainProfile(BitWriter& w, int bitDepth) {
    const bool main10 = bitDepth > 8;
    w.bits(0, 2);  // profile space
    w.flag(false); // tier
    w.bits(main10 ? 2 : 1, 5);
    w.bits(main10 ? 0x20000000 : 0x60000000, 32); // Main 10, or Main and Main 10
    w.flag(true);                                 // progressive
    w.flag(false);                                // interlaced
    w.flag(false);                                // non-packed
    w.flag(true);                                 // frame only
    w.bits(0, 32);
    w.bits(0, 12);
    w.bits(kLevel, 8);
}

// What the three sets share about picture buffering: 2 pictures reordered.
void ordering(BitWriter& w, const X265Tools& t) {
    w.flag(true); // sub-layer ordering info present
    w.ue(t.dpb);
    w.ue(2);
    w.ue(t.latency);
}

std::vector<std::uint8_t> vps(const X265Tools& t, int bitDepth) {
    BitWriter w;
    w.bits(0, 4); // id
    w.bits(3, 2); // base layer internal and available
    w.bits(0, 6); // one layer
    w.bits(0, 3); // one sub-layer
    w.flag(true); // temporal id nesting
    w.bits(0xffff, 16);
    mainProfile(w, bitDepth);
    ordering(w, t);
    w.bits(0, 6);  // max layer id
    w.ue(0);       // layer sets
    w.flag(false); // timing
    w.flag(false); // extension
    w.trailing();
    return escapeNal({0x40, 0x01}, w.bytes());
}

std::vector<std::uint8_t> sps(const X265Tools& t, int bitDepth) {
    BitWriter w;
    w.bits(0, 4); // VPS id
    w.bits(0, 3); // one sub-layer
    w.flag(true);
    mainProfile(w, bitDepth);
    w.ue(0); // id
    w.ue(1); // 4:2:0
    w.ue(1280);
    w.ue(720);
    w.flag(false); // conformance window
    const auto depth = static_cast<std::uint32_t>(bitDepth - 8);
    w.ue(depth); // luma
    w.ue(depth); // and chroma
    w.ue(4);     // picture order counts of 8 bits
    ordering(w, t);
    w.ue(t.log2MinCb - 3u); // coding block sizes
    w.ue(static_cast<std::uint32_t>(t.log2Ctb - t.log2MinCb));
    w.ue(0); // transforms from 4
    w.ue(3); // to 32
    w.ue(t.tuDepth);
    w.ue(t.tuDepth);
    w.flag(false); // scaling lists
    w.flag(t.amp);
    w.flag(t.sao);
    w.flag(false); // PCM
    w.ue(0);       // short-term reference picture sets: in the slice headers
    w.flag(false); // long-term reference pictures
    w.flag(true);  // temporal MV prediction
    w.flag(true);  // strong intra smoothing
    w.flag(false); // VUI
    w.flag(false); // extensions
    w.trailing();
    return escapeNal({0x42, 0x01}, w.bytes());
}

std::vector<std::uint8_t> pps(const X265Tools& t) {
    BitWriter w;
    w.ue(0);       // id
    w.ue(0);       // SPS id
    w.flag(false); // dependent slice segments
    w.flag(false); // output flag
    w.bits(0, 3);  // extra slice header bits
    w.flag(t.signHiding);
    w.flag(false); // cabac_init_present
    w.ue(0);       // one reference index in L0
    w.ue(0);       // and in L1
    w.se(0);       // initial QP 26
    w.flag(false); // constrained intra prediction
    w.flag(t.transformSkip);
    w.flag(true); // CU QP deltas
    w.ue(t.qpDepth);
    w.se(0); // Cb and Cr QP offsets
    w.se(0);
    w.flag(false); // slice chroma QP offsets
    w.flag(t.weightP);
    w.flag(t.weightB);
    w.flag(false); // transquant bypass
    w.flag(false); // tiles
    w.flag(true);  // wavefronts
    w.flag(true);  // loop filter across slices
    w.flag(false); // deblocking control
    w.flag(false); // scaling lists
    w.flag(false); // list modification
    w.ue(0);       // parallel merge level 2
    w.flag(false); // slice header extension
    w.flag(false); // extensions
    w.trailing();
    return escapeNal({0x44, 0x01}, w.bytes());
}

// The hvcC fields after the profile that no SPS gives: no spatial segmentation,
// wavefront parallelism, 4:2:0, frame rate unknown, one temporal layer nested.
std::vector<std::uint8_t> fixedFields(int bitDepth) {
    std::vector<std::uint8_t> out(23, 0);
    out[0] = 1;
    out[13] = 0xf0; // min_spatial_segmentation_idc 0
    out[15] = 0xfc | 3;
    out[16] = 0xfc | 1;
    out[17] = out[18] = static_cast<std::uint8_t>(0xf8 | (bitDepth - 8));
    out[21] = 0x0c;
    return out;
}

} // namespace

const std::vector<X265Tools>& x265Tools() {
    return kTools;
}

std::vector<std::uint8_t> x265Config(const X265Tools& tools, int bitDepth, int lengthSize) {
    if (bitDepth != 8 && bitDepth != 10) {
        return {};
    }
    StreamParams p;
    p.vps = {vps(tools, bitDepth)};
    p.sps = {sps(tools, bitDepth)};
    p.pps = {pps(tools)};
    return configRecord(VideoCodec::Hevc, p, lengthSize, fixedFields(bitDepth))
        .value_or(std::vector<std::uint8_t>{});
}

} // namespace repair
