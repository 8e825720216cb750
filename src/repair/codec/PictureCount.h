#pragma once

#include "codec/Composition.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace repair {

// Counts the pictures that damage took away from the stream's own picture order counts.
// Each IDR picture restarts the count at 0; up to the next one the counts fill the display
// slots 0, s, 2s, ... without a hole. A picture's decode position in its period is its
// display slot plus an offset that its kind (I, P or B; reference or not) keeps as long as
// the encoder repeats one shape of group of pictures.
class PictureCount {
public:
    // A picture taken, in decode order (its key the order count, opening a period at an IDR
    // picture); kind tells pictures of one role in the GOP apart.
    void add(const PictureOrder& picture, int kind);
    // Damage comes before the next picture added.
    void gap() { gaps_.push_back(pictures_.size()); }

    // A picture met after damage: its order count modulo `range` (the count's own wrap).
    struct Met {
        std::int64_t count = 0;
        std::int64_t range = 0;
        bool idr = false;
        int kind = 0;
    };
    // The numbers of pictures, up to `upTo`, that can lie in decode order between the last
    // one taken and the one met, rising; empty when the counts cannot tell.
    std::vector<std::uint64_t> lostBefore(const Met& met, std::uint64_t upTo) const;

private:
    struct Picture {
        std::int64_t poc = 0;
        int kind = 0;
    };
    std::size_t periodStart(std::size_t i) const;
    bool gapWithin(std::size_t from, std::size_t to) const;
    std::int64_t step(std::size_t from, std::size_t to) const;
    std::uint64_t periodLength() const;
    std::optional<std::int64_t> offsetOf(int kind, std::int64_t step) const;

    std::vector<Picture> pictures_;
    std::vector<std::size_t> idrs_; // indices of IDR pictures, rising
    std::vector<std::size_t> gaps_; // a gap before picture i, rising
};

} // namespace repair
