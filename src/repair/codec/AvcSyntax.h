#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// Every field of an H.264 sequence parameter set, so that one can be changed and written
// out again. Scaling lists and the VUI are carried as the bits they were.
struct AvcSpsFields {
    std::uint32_t profile = 100, constraints = 0, level = 31, id = 0;
    std::uint32_t chromaFormat = 1, bitDepthLuma = 0, bitDepthChroma = 0; // depths minus 8
    bool separateColourPlane = false, bypass = false;
    std::vector<std::uint8_t> scalingBits; // one byte per bit, the present flag included
    int log2MaxFrameNum = 4;
    std::uint32_t pocType = 0;
    int log2MaxPocLsb = 4;
    bool deltaPocAlwaysZero = false;
    std::int32_t offsetNonRef = 0, offsetTopBottom = 0;
    std::vector<std::int32_t> refFrameOffsets;
    std::uint32_t maxRefFrames = 1;
    bool gapsAllowed = false;
    std::uint32_t widthMbs = 1, heightUnits = 1; // not minus 1
    bool frameMbsOnly = true, mbaff = false, direct8x8 = true;
    std::uint32_t crop[4] = {0, 0, 0, 0}; // left, right, top, bottom, in crop units
    std::vector<std::uint8_t> vuiBits;    // vui_parameters_present_flag on, one byte per bit
    // Instead of vuiBits, a VUI of only the reordering limits, as many frames as
    // maxRefFrames: a decoder told nothing may show B pictures out of order.
    bool reorderVui = false;
};

// Every field of an H.264 picture parameter set (one slice group).
struct AvcPpsFields {
    std::uint32_t id = 0, spsId = 0;
    bool cabac = false, bottomFieldPicOrder = false;
    std::uint32_t refIdxL0 = 0, refIdxL1 = 0; // defaults minus 1
    bool weightedPred = false;
    std::uint32_t weightedBipred = 0;
    std::int32_t initQp = 0, initQs = 0, chromaQpOffset = 0; // minus 26 for the two QPs
    bool deblockingControl = true, constrainedIntra = false, redundantPicCnt = false;
    bool more = false; // the High fields below are present
    bool transform8x8 = false;
    std::vector<std::uint8_t> scalingBits;
    std::int32_t secondChromaQpOffset = 0;
};

bool avcHighProfile(std::uint32_t profile);

// nal: the header byte and its payload. Nothing when it does not read.
std::optional<AvcSpsFields> readAvcSps(const std::uint8_t* nal, std::size_t size);
std::optional<AvcPpsFields> readAvcPps(const std::uint8_t* nal, std::size_t size);
// The NAL units (header byte 0x67 / 0x68) with emulation prevention.
std::vector<std::uint8_t> writeAvcSps(const AvcSpsFields& s);
std::vector<std::uint8_t> writeAvcPps(const AvcPpsFields& p);

} // namespace repair
