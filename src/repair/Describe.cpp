#include "Describe.h"

#include "box/Box.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace repair {
namespace {

std::string trackLabel(const RefTrack& t, std::size_t i) {
    return "track " + std::to_string(i + 1) + " (id " + std::to_string(t.id) + ", " +
           typeName(t.handler) + " " + typeName(t.codec) + ")";
}

} // namespace

void describeReference(const Reference& ref, const Engine& engine, std::ostream& out) {
    for (std::size_t i = 0; i < ref.tracks.size(); ++i) {
        const RefTrack& t = ref.tracks[i];
        out << "reference " << trackLabel(t, i) << ": timescale " << t.timescale
            << ", sample duration " << t.sampleDuration << ", " << t.sampleCount
            << " samples (largest " << t.maxSampleSize << " bytes), " << t.chunks.size()
            << " chunks\n  " << engine.codecs()[i]->describe() << "\n";
    }
}

std::string describeShare(double share) {
    char buf[32];
    const double pct = std::floor(share * 1000.0) / 10.0;
    std::snprintf(buf, sizeof buf, "%.1f%%", pct);
    return buf;
}

double mediaShare(const WalkResult& walk) {
    // Damaged stretches held the user's media too: what they took is not back. A zero tail
    // lies past the limit and is no part of it.
    const std::uint64_t total = walk.limit > walk.begin ? walk.limit - walk.begin : 0;
    return total == 0 ? 1.0
                      : std::min(1.0, static_cast<double>(walk.accountedBytes()) /
                                          static_cast<double>(total));
}

void describeWalk(const Reference& ref, const WalkResult& walk, std::ostream& out) {
    const std::uint64_t total = walk.limit > walk.begin ? walk.limit - walk.begin : 0;
    out << "recovered:";
    for (std::size_t i = 0; i < walk.tracks.size(); ++i) {
        const RefTrack& t = ref.tracks[i];
        out << (i ? "; " : " ") << "track " << i + 1 << " " << typeName(t.handler) << " "
            << typeName(t.codec) << " " << walk.tracks[i].samples << " samples in "
            << walk.tracks[i].chunks.size() << " chunks" << (t.fault.empty() ? "" : " (left out)");
    }
    out << "\n";
    if (walk.stretches > 0) {
        out << "skipped " << walk.stretches << " damaged stretch(es), " << walk.skippedBytes
            << " bytes; samples lost there:";
        for (std::size_t i = 0; i < walk.tracks.size(); ++i) {
            out << (i ? "," : "") << " track " << i + 1 << " " << walk.tracks[i].lost;
        }
        out << "\n";
    }
    out << "media data accounted for: " << describeShare(mediaShare(walk)) << " of " << total
        << " bytes\n";
    out << "stopped at byte " << walk.stoppedAt << " of " << walk.limit << ": " << walk.stopReason
        << "\n";
}

} // namespace repair
