#pragma once

#include <cstdint>
#include <vector>

namespace repair {

// What an x265 preset puts in its parameter sets: the coding tools a decoder must know
// to read its pictures. Debian's x265 writes five kinds: ultrafast, superfast, veryfast
// to slow (the default, medium), slower and veryslow, placebo.
struct X265Tools {
    const char* presets;
    std::uint8_t log2MinCb, log2Ctb; // coding block sizes
    std::uint8_t tuDepth;            // transform hierarchy depth, inter and intra
    bool amp, sao, signHiding, transformSkip;
    std::uint8_t qpDepth; // diff_cu_qp_delta_depth: quantization groups of 32
    bool weightP, weightB;
    std::uint8_t dpb, latency; // max_dec_pic_buffering_minus1, max_latency_increase_plus1
};

// The kinds, the most common first.
const std::vector<X265Tools>& x265Tools();

// An hvcC payload with the VPS, SPS and PPS that Debian's x265 writes with these tools
// (4:2:0, Main or Main 10, wavefronts, adaptive QP) for 1280x720 pictures of bitDepth
// bits, and NAL lengths of lengthSize bytes. The start of a search for the sets of a
// stream that carries none.
std::vector<std::uint8_t> x265Config(const X265Tools& tools, int bitDepth, int lengthSize);

} // namespace repair
