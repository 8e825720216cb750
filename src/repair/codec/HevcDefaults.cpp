#include "codec/HevcDefaults.h"

#include "codec/BitWriter.h"
#include "codec/ConfigRecord.h"

namespace repair {
namespace {

constexpr std::uint8_t kLevel = 93; // 3.1, for 1280x720

// profile_tier_level() of Main, progressive frames, no sub-layers.
void mainProfile(BitWriter& w) {
    w.bits(0, 2);           // profile space
    w.flag(false);          // tier
    w.bits(1, 5);           // Main
    w.bits(0x60000000, 32); // compatible with Main and Main 10
    w.flag(true);           // progressive
    w.flag(false);          // interlaced
    w.flag(false);          // non-packed
    w.flag(true);           // frame only
    w.bits(0, 32);
    w.bits(0, 12);
    w.bits(kLevel, 8);
}

// What the three sets share about picture buffering: 5 pictures, 2 reordered.
void ordering(BitWriter& w) {
    w.flag(true); // sub-layer ordering info present
    w.ue(4);
    w.ue(2);
    w.ue(5);
}

std::vector<std::uint8_t> vps() {
    BitWriter w;
    w.bits(0, 4); // id
    w.bits(3, 2); // base layer internal and available
    w.bits(0, 6); // one layer
    w.bits(0, 3); // one sub-layer
    w.flag(true); // temporal id nesting
    w.bits(0xffff, 16);
    mainProfile(w);
    ordering(w);
    w.bits(0, 6);  // max layer id
    w.ue(0);       // layer sets
    w.flag(false); // timing
    w.flag(false); // extension
    w.trailing();
    return escapeNal({0x40, 0x01}, w.bytes());
}

std::vector<std::uint8_t> sps() {
    BitWriter w;
    w.bits(0, 4); // VPS id
    w.bits(0, 3); // one sub-layer
    w.flag(true);
    mainProfile(w);
    w.ue(0); // id
    w.ue(1); // 4:2:0
    w.ue(1280);
    w.ue(720);
    w.flag(false); // conformance window
    w.ue(0);       // 8-bit luma
    w.ue(0);       // and chroma
    w.ue(4);       // picture order counts of 8 bits
    ordering(w);
    w.ue(0);       // coding blocks from 8
    w.ue(3);       // to 64
    w.ue(0);       // transforms from 4
    w.ue(3);       // to 32
    w.ue(0);       // inter transform hierarchy depth
    w.ue(0);       // intra
    w.flag(false); // scaling lists
    w.flag(false); // asymmetric motion partitions
    w.flag(true);  // SAO
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

std::vector<std::uint8_t> pps() {
    BitWriter w;
    w.ue(0);       // id
    w.ue(0);       // SPS id
    w.flag(false); // dependent slice segments
    w.flag(false); // output flag
    w.bits(0, 3);  // extra slice header bits
    w.flag(true);  // sign data hiding
    w.flag(false); // cabac_init_present
    w.ue(0);       // one reference index in L0
    w.ue(0);       // and in L1
    w.se(0);       // initial QP 26
    w.flag(false); // constrained intra prediction
    w.flag(false); // transform skip
    w.flag(true);  // CU QP deltas
    w.ue(1);       // at depth 1
    w.se(0);       // Cb and Cr QP offsets
    w.se(0);
    w.flag(false); // slice chroma QP offsets
    w.flag(true);  // weighted P prediction
    w.flag(false); // weighted B prediction
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
// wavefront parallelism, 4:2:0 8-bit, frame rate unknown, one temporal layer nested.
std::vector<std::uint8_t> fixedFields() {
    std::vector<std::uint8_t> out(23, 0);
    out[0] = 1;
    out[13] = 0xf0; // min_spatial_segmentation_idc 0
    out[15] = 0xfc | 3;
    out[16] = 0xfc | 1;
    out[17] = 0xf8;
    out[18] = 0xf8;
    out[21] = 0x0c;
    return out;
}

} // namespace

std::vector<std::uint8_t> x265DefaultConfig(int lengthSize) {
    StreamParams p;
    p.vps = {vps()};
    p.sps = {sps()};
    p.pps = {pps()};
    return configRecord(VideoCodec::Hevc, p, lengthSize, fixedFields())
        .value_or(std::vector<std::uint8_t>{});
}

} // namespace repair
