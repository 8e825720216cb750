#include "box/ZeroRun.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace repair {
namespace {

constexpr std::uint64_t kBlock = 64u << 10;
// Read whole, backwards from the end; past it, single blocks only.
constexpr std::uint64_t kExact = 64u << 20;
// Blocks read evenly over a run the bisection found, against zeros amid the media.
constexpr std::uint64_t kChecks = 32;
// Bisections after data was found amid: each starts past it.
constexpr int kRounds = 8;

class Scanner {
public:
    Scanner(const ByteSource& file, std::uint64_t begin)
        : file_(file), begin_(begin), block_(kBlock) {}

    // One past the last byte that is not zero in [from, to) (at most a block), or nothing
    // when all are zero. Bytes that cannot be read count as data.
    std::optional<std::uint64_t> lastData(std::uint64_t from, std::uint64_t to) {
        const auto n = static_cast<std::size_t>(std::min(to - from, kBlock));
        if (file_.read(from, block_.data(), n) != n) {
            return from + n;
        }
        for (std::size_t i = n; i > 0; --i) {
            if (block_[i - 1] != 0) {
                return from + i;
            }
        }
        return std::nullopt;
    }

    // Where the zeros that end [from, to) start, every block read.
    std::uint64_t zerosFrom(std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t at = to; at > from;) {
            const std::uint64_t start = at - std::min(kBlock, at - from);
            if (const auto end = lastData(start, at)) {
                return *end;
            }
            at = start;
        }
        return from;
    }

    // Data ends in [lo, hi) and only zeros were found from hi on: halve the range on single
    // blocks down to one, then read it whole.
    std::uint64_t bisect(std::uint64_t lo, std::uint64_t hi) {
        while (hi - lo > kBlock) {
            const std::uint64_t mid = lo + (hi - lo) / 2;
            if (const auto end = lastData(mid, std::min(mid + kBlock, hi))) {
                lo = *end;
            } else {
                hi = mid;
            }
        }
        return zerosFrom(lo, hi);
    }

    // A block of data read between `from` and `to`, the last one first: where its data
    // ends, and where the zeros read after it start. Blocks are read at doubling distances
    // from `from` (media beyond a stretch of zeros amid it) and evenly up to `to`.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> dataAmid(std::uint64_t from,
                                                                    std::uint64_t to) {
        std::vector<std::uint64_t> at;
        for (std::uint64_t d = kBlock; d < to - from && to - from - d >= kBlock; d *= 2) {
            at.push_back(from + d);
        }
        const std::uint64_t step = (to - from) / (kChecks + 1);
        for (std::uint64_t i = 1; i <= kChecks && step >= kBlock; ++i) {
            at.push_back(from + i * step);
        }
        std::sort(at.begin(), at.end());
        std::uint64_t after = to;
        for (auto it = at.rbegin(); it != at.rend(); ++it) {
            if (const auto end = lastData(*it, *it + kBlock)) {
                return std::make_pair(*end, after);
            }
            after = *it;
        }
        return std::nullopt;
    }

    std::uint64_t begin() const { return begin_; }

private:
    const ByteSource& file_;
    std::uint64_t begin_;
    std::vector<std::uint8_t> block_;
};

// Zeros fill [near, end): look for data further back at doubling distances, bisect between,
// and check that no data lies between what the bisection found and `near`.
std::uint64_t zerosFromFar(Scanner& s, const std::uint64_t near, std::uint64_t end) {
    std::uint64_t lo = s.begin();
    std::uint64_t hi = near;
    for (std::uint64_t back = 2 * (end - near); hi > s.begin(); back *= 2) {
        const std::uint64_t at = end - std::min(back, end - s.begin());
        if (const auto data = s.lastData(at, std::min(at + kBlock, hi))) {
            lo = *data;
            break;
        }
        hi = at;
    }
    std::uint64_t from = s.bisect(lo, hi);
    for (int round = 0; round < kRounds; ++round) {
        const auto amid = s.dataAmid(from, near);
        if (!amid) {
            break;
        }
        from = s.bisect(amid->first, amid->second);
    }
    return from;
}

} // namespace

std::uint64_t trailingZeros(const ByteSource& file, std::uint64_t begin, std::uint64_t end) {
    end = std::min(end, file.size());
    if (begin >= end) {
        return 0;
    }
    Scanner s(file, begin);
    const std::uint64_t near = end - std::min(kExact, end - begin);
    const std::uint64_t from = s.zerosFrom(near, end);
    return end - (from > near || near == begin ? from : zerosFromFar(s, near, end));
}

} // namespace repair
