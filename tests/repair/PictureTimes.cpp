#include "PictureTimes.h"

namespace {

std::int64_t compositionTime(const TableSample& s) {
    return static_cast<std::int64_t>(s.dts) + s.compositionOffset;
}

std::string describe(const TableSample& s, std::uint32_t timescale) {
    return "sync " + std::to_string(s.sync) + ", shown at " + std::to_string(compositionTime(s)) +
           "/" + std::to_string(timescale);
}

} // namespace

std::string pictureTimesMismatch(const TableTrack& original, const TableTrack& repaired,
                                 std::uint64_t cut) {
    // Without stss every sample is a sync sample: intra-only video must write none.
    if (repaired.hasStss && !original.hasStss) {
        return "stss written";
    }
    std::size_t kept = 0;
    while (kept < original.samples.size() &&
           original.samples[kept].offset + original.samples[kept].size <= cut) {
        ++kept;
    }
    if (repaired.samples.size() < kept) {
        return std::to_string(repaired.samples.size()) + " of " + std::to_string(kept) +
               " pictures back";
    }
    for (std::size_t i = 0; i < kept; ++i) {
        const TableSample& o = original.samples[i];
        const TableSample& r = repaired.samples[i];
        // Cross-multiplied: the two files may count time in different units.
        const bool sameTime = compositionTime(o) * repaired.timescale ==
                              compositionTime(r) * static_cast<std::int64_t>(original.timescale);
        if (o.size != r.size || o.sync != r.sync || !sameTime) {
            return "picture " + std::to_string(i + 1) + " of " + std::to_string(kept) + ": " +
                   describe(r, repaired.timescale) + " instead of " +
                   describe(o, original.timescale);
        }
    }
    return "";
}
