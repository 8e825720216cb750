#include "codec/Composition.h"

#include <algorithm>
#include <numeric>

namespace repair {
namespace {

// A B-frame delay beyond this is not a camera's: the reference's is not taken.
constexpr std::int64_t kMaxDelay = 32;
// Frames a kept picture can be shown later than its rank among the kept ones says: the lost
// pictures shown before it waited in a decoded picture buffer, which holds at most 16.
constexpr std::int64_t kMaxHidden = 16;
// Keys from a hostile stream are kept within this, so that differences cannot overflow.
constexpr std::int64_t kKeyBound = std::int64_t{1} << 48;

struct Period {
    std::size_t begin = 0;
    std::size_t end = 0;
};

std::vector<Period> periodsOf(const std::vector<PictureOrder>& pictures) {
    std::vector<Period> out;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (out.empty() || pictures[i].opens) {
            out.push_back({i, i});
        }
        out.back().end = i + 1;
    }
    return out;
}

std::int64_t keyOf(const PictureOrder& p) {
    return std::clamp(p.key, -kKeyBound, kKeyBound);
}

// The period's pictures in display order.
std::vector<std::size_t> keyOrder(const std::vector<PictureOrder>& pictures, Period r) {
    std::vector<std::size_t> order(r.end - r.begin);
    std::iota(order.begin(), order.end(), r.begin);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return keyOf(pictures[a]) < keyOf(pictures[b]);
    });
    return order;
}

// What divides every difference between pictures shown one after the other in these periods.
std::int64_t keyStep(const std::vector<PictureOrder>& pictures,
                     const std::vector<Period>& periods) {
    std::int64_t step = 0;
    for (const Period& r : periods) {
        const auto order = keyOrder(pictures, r);
        for (std::size_t k = 1; k < order.size(); ++k) {
            step = std::gcd(step, keyOf(pictures[order[k]]) - keyOf(pictures[order[k - 1]]));
        }
    }
    return step;
}

// Key units per frame. Complete periods tell; the last, which a cut may have thinned (an I
// and a P alone are more than a frame apart), only with the hint.
std::int64_t stepOf(const std::vector<PictureOrder>& pictures, const std::vector<Period>& periods,
                    std::int64_t hint) {
    const std::vector<Period> complete(periods.begin(), periods.end() - 1);
    const std::int64_t own = keyStep(pictures, complete);
    return own != 0
               ? own
               : std::gcd(std::max<std::int64_t>(hint, 0), keyStep(pictures, {periods.back()}));
}

// Pictures shown in key order within each period.
std::vector<std::int64_t> rankPlaces(const std::vector<PictureOrder>& pictures,
                                     const std::vector<Period>& periods) {
    std::vector<std::int64_t> shown(pictures.size());
    for (const Period& r : periods) {
        const auto order = keyOrder(pictures, r);
        for (std::size_t k = 0; k < order.size(); ++k) {
            shown[order[k]] = static_cast<std::int64_t>(r.begin + k);
        }
    }
    return shown;
}

// How many frames some picture is decoded before it is shown, at least `floor`.
std::int64_t largestLead(const std::vector<std::int64_t>& shown, std::int64_t floor) {
    std::int64_t lead = std::max<std::int64_t>(floor, 0);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        lead = std::max(lead, static_cast<std::int64_t>(i) - shown[i]);
    }
    return lead;
}

// The last settled picture of a period and its key: the one every later place counts from.
struct Anchor {
    std::int64_t place = 0;
    std::int64_t key = 0;
};

// Where the last period's pictures are shown, from their keys; false when the keys do not
// count frames there. A lost picture is shown no earlier than the kept count less the
// reorder depth, so the pictures ranked below that are settled where they rank, and the
// last of them anchors the others.
bool placeByKeys(const std::vector<PictureOrder>& pictures, Period r, std::int64_t step,
                 std::int64_t depth, std::vector<std::int64_t>& shown) {
    const auto order = keyOrder(pictures, r);
    const auto key = [&](std::size_t k) { return keyOf(pictures[order[k]]); };
    const auto kept = static_cast<std::int64_t>(order.size());
    const auto settled = static_cast<std::size_t>(std::max<std::int64_t>(0, kept - depth - 1));
    Anchor anchor{0, pictures[r.begin].fromZero ? 0 : key(0)};
    if (settled > 0) {
        anchor = {static_cast<std::int64_t>(settled) - 1, key(settled - 1)};
        // The settled pictures nearest to it must be a frame apart.
        const std::size_t from = settled > kMaxHidden ? settled - kMaxHidden : 0;
        for (std::size_t k = from; k < settled; ++k) {
            if (key(k) != anchor.key - (anchor.place - static_cast<std::int64_t>(k)) * step) {
                return false;
            }
        }
    }
    std::int64_t previous = settled > 0 ? anchor.place : -1;
    for (std::size_t k = settled; k < order.size(); ++k) {
        const std::int64_t d = key(k) - anchor.key;
        const std::int64_t place = anchor.place + d / step;
        if (d < 0 || d % step != 0 || place <= previous ||
            place - static_cast<std::int64_t>(k) > kMaxHidden) {
            return false;
        }
        shown[order[k]] = static_cast<std::int64_t>(r.begin) + place;
        previous = place;
    }
    return true;
}

} // namespace

std::int64_t orderStep(const std::vector<PictureOrder>& pictures) {
    return keyStep(pictures, periodsOf(pictures));
}

std::vector<std::uint32_t> compositionOffsets(const std::vector<PictureOrder>& pictures,
                                              const OrderHints& hints) {
    if (pictures.empty()) {
        return {};
    }
    const auto periods = periodsOf(pictures);
    auto shown = rankPlaces(pictures, periods);
    const std::int64_t known = hints.delay <= kMaxDelay ? hints.delay : -1;
    const std::int64_t step = stepOf(pictures, periods, hints.step);
    if (step > 0) {
        auto byKeys = shown;
        if (placeByKeys(pictures, periods.back(), step, largestLead(shown, known), byKeys)) {
            shown = std::move(byKeys);
        }
    }
    const std::int64_t delay = largestLead(shown, known);
    std::vector<std::uint32_t> out(shown.size());
    bool any = false;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        out[i] = static_cast<std::uint32_t>(shown[i] - static_cast<std::int64_t>(i) + delay);
        any = any || out[i] != 0;
    }
    return any ? out : std::vector<std::uint32_t>{};
}

} // namespace repair
