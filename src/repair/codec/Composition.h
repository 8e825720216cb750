#pragma once

#include <cstdint>
#include <vector>

namespace repair {

// Display order key of one picture in decode order: its picture order count (H.264, HEVC),
// temporal reference (MPEG-2) or VOP time (MPEG-4 Part 2).
struct PictureOrder {
    std::int64_t key = 0;
    bool opens = false;    // keys restart here; no picture before it is shown after it
    bool fromZero = false; // opens, and key 0 is the first picture of its period shown
};

// What a stream's keys mean, from its format and its reference.
struct OrderHints {
    // Key units a frame is known to advance by (or a multiple of them); 0: unknown. The
    // stream's own key differences refine it.
    std::int64_t step = 0;
    // The composition time of the first picture shown, in frames, as the reference's writer
    // put it (its B-frame delay); -1: unknown, the least that keeps offsets non-negative.
    std::int64_t delay = -1;
};

// Composition offsets (ctts), in units of the frame duration, for pictures in decode order.
// Empty when every picture is shown at its decode time. Offsets are never negative.
// Pictures of a complete period are shown in key order. In the last period a cut may have
// taken pictures shown between those kept: there keys, not ranks, place the last pictures,
// so that each keeps the time it had before the cut.
std::vector<std::uint32_t> compositionOffsets(const std::vector<PictureOrder>& pictures,
                                              const OrderHints& hints);

// Key units per frame as far as the keys tell: what divides the difference between any two
// pictures shown one after the other within a period; 0 when no two are.
std::int64_t orderStep(const std::vector<PictureOrder>& pictures);

} // namespace repair
