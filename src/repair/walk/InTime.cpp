// Whether the tracks came back in time with each other: a track that the reference keeps
// in step with the video but that ends far from where the video puts it was read wrongly,
// whatever share of the bytes was taken.
#include "walk/ChunkWalker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace repair {
namespace {

// Beyond the chunk a cut may leave a track short of, a track may stray this far from the
// video before its reading is not believed.
constexpr double kMinStraySeconds = 1.0;

} // namespace

// A track the reference writes chunk after chunk, of which nothing came back, though the
// video lasts long enough to have held two of its chunks and a stray second.
bool ChunkWalker::gone(int t, double video) const {
    const double chunk = layout_.secondsOf(t, std::max(layout_.maxCount(t), 1u));
    return layout_.chunksSeen(t) >= 2 && chunk > 0 && video > 2 * chunk + kMinStraySeconds;
}

void ChunkWalker::checkTimes() {
    const int a = layout_.anchor();
    if (a < 0 || result_.tracks[idx(a)].samples == 0) {
        return;
    }
    const double video = timeOf(a);
    for (int t = 0; t < count(); ++t) {
        const RecoveredTrack& r = result_.tracks[idx(t)];
        if (t != a && r.samples == 0 && gone(t, video)) {
            result_.outOfTime = "track " + std::to_string(t + 1) + " did not come back";
            return;
        }
        if (t == a || r.samples == 0 || layout_.timeRule(t) == TimeRule::None) {
            continue;
        }
        // Up to a whole chunk of either may be missing at the cut.
        const double slack =
            std::max({kMinStraySeconds, layout_.secondsOf(t, layout_.maxCount(t)) * 2,
                      layout_.secondsOf(a, layout_.maxCount(a)) * 2});
        const double off = timeOf(t) - (video + layout_.endOffset(t));
        if (std::abs(off) > slack) {
            char line[160];
            std::snprintf(line, sizeof line, "track %d ends %.1f s %s the video", t + 1,
                          std::abs(off), off < 0 ? "before" : "after");
            result_.outOfTime = line;
            return;
        }
    }
}

} // namespace repair
