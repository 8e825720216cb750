#include "codec/PictureCount.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>

namespace repair {
namespace {

// Pictures looked back at to learn the order count step, each kind's offset and the
// period: a few groups of pictures of any camera's.
constexpr std::size_t kLearnWindow = 512;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// Bounds on the answers: places of a picture in its period, counts of pictures lost.
constexpr std::size_t kMaxPlaces = 64;
constexpr std::size_t kMaxCandidates = 1024;

template <typename Key> Key mostVoted(const std::map<Key, std::uint32_t>& votes) {
    return std::max_element(votes.begin(), votes.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

std::int64_t modulo(std::int64_t a, std::int64_t m) {
    return (a % m + m) % m;
}

} // namespace

void PictureCount::add(const PictureOrder& picture, int kind) {
    if (picture.opens) {
        idrs_.push_back(pictures_.size());
    }
    pictures_.push_back({picture.key, kind});
}

std::size_t PictureCount::periodStart(std::size_t i) const {
    const auto it = std::upper_bound(idrs_.begin(), idrs_.end(), i);
    return it == idrs_.begin() ? kNone : *std::prev(it);
}

bool PictureCount::gapWithin(std::size_t from, std::size_t to) const {
    const auto it = std::upper_bound(gaps_.begin(), gaps_.end(), from);
    return it != gaps_.end() && *it < to;
}

// The step between display slots: the greatest common divisor of the order counts of the
// pictures, each against its period's IDR picture.
std::int64_t PictureCount::step(std::size_t from, std::size_t to) const {
    std::int64_t g = 0;
    for (std::size_t i = from; i < to; ++i) {
        const std::size_t p = periodStart(i);
        if (p != kNone) {
            g = std::gcd(g, pictures_[i].poc - pictures_[p].poc);
        }
    }
    return g;
}

// Pictures from one IDR picture to the next, the most usual of the recent whole periods
// without damage; 0 when none was seen.
std::uint64_t PictureCount::periodLength() const {
    std::map<std::uint64_t, std::uint32_t> votes;
    const std::size_t from = idrs_.size() > 64 ? idrs_.size() - 64 : 0;
    for (std::size_t k = from; k + 1 < idrs_.size(); ++k) {
        if (!gapWithin(idrs_[k], idrs_[k + 1] + 1)) {
            ++votes[idrs_[k + 1] - idrs_[k]];
        }
    }
    return votes.empty() ? 0 : mostVoted(votes);
}

// Decode position minus display slot, the most usual for pictures of this kind. The slot
// counts from the count's own zero, which need not be the period's first picture decoded
// (leading pictures of an open GOP are shown before it).
std::optional<std::int64_t> PictureCount::offsetOf(int kind, std::int64_t s) const {
    const std::size_t n = pictures_.size();
    std::map<std::int64_t, std::uint32_t> votes;
    for (std::size_t i = n > kLearnWindow ? n - kLearnWindow : 0; i < n; ++i) {
        const std::size_t p = periodStart(i);
        if (p == kNone || pictures_[i].kind != kind || gapWithin(p, i + 1)) {
            continue;
        }
        const auto decode = static_cast<std::int64_t>(i - p);
        ++votes[decode - pictures_[i].poc / s];
    }
    if (votes.empty()) {
        return std::nullopt;
    }
    return mostVoted(votes);
}

// The picture met lies in the period of the last one taken, `have` pictures into it, or in
// a later one whose IDR picture was lost with all before it. Its place in its own period is
// its display slot plus its kind's offset, known modulo the slots the count's wrap covers;
// the period's length (from whole periods seen) bounds it.
std::vector<std::uint64_t> PictureCount::lostBefore(const Met& met, std::uint64_t upTo) const {
    const std::size_t n = pictures_.size();
    const std::size_t p0 = n ? periodStart(n - 1) : kNone;
    if (p0 == kNone || gapWithin(p0, n) || met.range <= 0) {
        return {};
    }
    const std::int64_t s = step(n > kLearnWindow ? n - kLearnWindow : 0, n);
    const std::int64_t slots = s > 0 ? met.range / s : 0;
    if (slots <= 0 || met.count % s != 0) {
        return {};
    }
    const auto length = static_cast<std::int64_t>(periodLength());
    std::vector<std::int64_t> places; // the met picture's decode place in its period
    if (met.idr) {
        places.push_back(0);
    } else {
        const auto offset = offsetOf(met.kind, s);
        if (!offset) {
            return {};
        }
        const std::int64_t first = modulo(met.count, met.range) / s + *offset;
        for (std::int64_t d = first;
             d >= 0 && d < std::max(length, slots) && places.size() < kMaxPlaces; d += slots) {
            places.push_back(d);
        }
    }
    const auto have = static_cast<std::int64_t>(n - p0);
    const auto top = static_cast<std::int64_t>(std::min<std::uint64_t>(upTo, INT64_MAX / 4));
    std::vector<std::uint64_t> out;
    for (std::int64_t d : places) {
        if (!met.idr && d >= have && d - have <= top) {
            out.push_back(static_cast<std::uint64_t>(d - have)); // the same period
        }
        if (length <= 0 || length < have) {
            continue;
        }
        for (std::int64_t lost = length - have + d; lost <= top && out.size() < kMaxCandidates;
             lost += length) {
            out.push_back(static_cast<std::uint64_t>(lost)); // past lost IDR pictures
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

} // namespace repair
