#pragma once

#include "codec/PictureCount.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// Counts the MPEG-2 pictures damage took away, from the stream's own counters: the GOP
// header's time code counts pictures from the recording's start, so a GOP met after the
// damage tells the loss exactly; within a GOP, the temporal reference and the picture's
// type place it, as an order count does in H.264.
class MpegCount {
public:
    // A picture taken, in decode order; gopPictures is its GOP header's time code in
    // pictures, when it opens a GOP that has one.
    void taken(int temporalReference, int type, bool opensGop,
               std::optional<std::int64_t> gopPictures);

    // Damage came before the next picture taken, and its loss is not counted.
    void gap();

    // A picture met after damage, the next one to be taken: the counts of pictures lost
    // before it, up to upTo, rising; empty when the counters do not tell.
    std::vector<std::uint64_t> lostBefore(int temporalReference, int type, bool opensGop,
                                          std::optional<std::int64_t> gopPictures,
                                          std::uint64_t upTo);

    // The pictures the last damage took, told exactly by the first GOP time code after it
    // (once); nullopt until then.
    std::optional<std::uint64_t> settled();

private:
    struct Gop {
        std::int64_t pictures = 0; // its time code
        std::int64_t taken = 0;    // its pictures taken so far
    };
    bool trusted() const { return agreed_ > 0; }

    PictureCount orders_;
    std::optional<Gop> gop_;
    // The GOPs in a row whose time code was the last one's plus its pictures: a camera's
    // time codes count pictures only if they keep doing so.
    int agreed_ = 0;
    // Since the damage: the GOP it hit, and the pictures taken after it.
    std::optional<Gop> hit_;
    std::int64_t since_ = 0;
    std::optional<std::uint64_t> settled_;
};

} // namespace repair
