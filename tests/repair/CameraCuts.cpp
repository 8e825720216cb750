#include "CameraCuts.h"

#include "CameraRun.h"

#include <algorithm>

namespace {

using camlayout::Truth;

const CutCase kCuts[] = {
    {"inside a video chunk", CutAt::Inside, "vide", 0.6, true},
    {"inside a sound chunk", CutAt::Inside, "soun", 0.4, false},
    {"inside a metadata chunk", CutAt::Inside, "meta", 0.5, false},
    // Where metadata opens the file, before any picture or sound is whole.
    {"inside the first metadata chunk", CutAt::Inside, "meta", 0.0, false},
    {"on a chunk boundary", CutAt::Boundary, nullptr, 0.75, true},
    {"early, 10%", CutAt::Early, nullptr, 0.1, false},
    {"early, 30%, mdat size 0", CutAt::Early, nullptr, 0.3, false, true},
    // Each picture of the group of pictures nearest the middle, where pictures are reordered.
    {"inside picture", CutAt::EachPicture, "vide", 0.5, false},
    // Too little of the last picture for its slice header to be read.
    {"a few bytes into a picture", CutAt::PictureHead, "vide", 0.65, false},
    // Right after the smallest picture (a skipped one): whole, however few its bytes.
    {"after the smallest picture", CutAt::AfterSmallest, "vide", 0.2, false},
    // Between two samples of a sound chunk, one that follows another sound chunk where there
    // is one: nothing but the counts tells where chunks of tracks of one format end.
    {"between two samples of a sound chunk", CutAt::SampleEdge, "soun", 0.55, false},
};

// The sample edge nearest the middle of the sound chunk nearest `target`, of those that
// follow a sound chunk if any do.
std::vector<std::uint64_t> soundSampleEdge(const Truth& t, std::uint64_t target) {
    const camlayout::TruthChunk* best = nullptr;
    bool bestFollows = false;
    const auto sound = [&](std::size_t i) { return t.tracks[t.chunks[i].track].handler == "soun"; };
    for (std::size_t i = 0; i < t.chunks.size(); ++i) {
        const auto& k = t.chunks[i];
        const bool follows = i > 0 && sound(i - 1);
        const auto far = [&](const camlayout::TruthChunk& c) {
            return c.offset > target ? c.offset - target : target - c.offset;
        };
        if (sound(i) &&
            (!best || follows > bestFollows || (follows == bestFollows && far(k) < far(*best)))) {
            best = &k;
            bestFollows = follows;
        }
    }
    std::uint64_t edge = 0;
    const std::uint64_t middle = best ? best->offset + best->size / 2 : 0;
    for (const auto& s :
         best ? t.tracks[best->track].samples : std::vector<camlayout::TruthSample>{}) {
        const auto far = [&](std::uint64_t e) { return e > middle ? e - middle : middle - e; };
        if (s.offset > best->offset && s.offset < best->offset + best->size &&
            (!edge || far(s.offset) < far(edge))) {
            edge = s.offset;
        }
    }
    return edge ? std::vector<std::uint64_t>{edge} : std::vector<std::uint64_t>{};
}

// The middle of each picture of the group whose sync picture lies nearest to `target`.
std::vector<std::uint64_t> groupCuts(const TableTrack& video, std::uint64_t target) {
    const auto& v = video.samples;
    std::size_t first = v.size();
    for (std::size_t i = 0; i < v.size(); ++i) {
        const auto distance = [&](std::size_t k) {
            return v[k].offset > target ? v[k].offset - target : target - v[k].offset;
        };
        if (v[i].sync && (first == v.size() || distance(i) < distance(first))) {
            first = i;
        }
    }
    std::vector<std::uint64_t> cuts;
    for (std::size_t i = first; i < v.size() && (i == first || !v[i].sync); ++i) {
        cuts.push_back(v[i].offset + v[i].size / 2);
    }
    return cuts;
}

} // namespace

std::span<const CutCase> cameraCuts() {
    return kCuts;
}

std::vector<std::uint64_t> cutPoints(const Truth& t, const TableTrack* video, const CutCase& c) {
    const auto target = mdatAt(t, c.where);
    if (c.at == CutAt::EachPicture) {
        return video && video->hasCtts ? groupCuts(*video, target) : std::vector<std::uint64_t>{};
    }
    if (c.at == CutAt::SampleEdge) {
        return soundSampleEdge(t, target);
    }
    if (c.at == CutAt::AfterSmallest) {
        const auto& v = video ? video->samples : std::vector<TableSample>{};
        const auto small = std::min_element(v.begin(), v.end(), [&](const auto& a, const auto& b) {
            return (a.offset >= target ? a.size : ~0u) < (b.offset >= target ? b.size : ~0u);
        });
        return small == v.end() || small->offset < target
                   ? std::vector<std::uint64_t>{}
                   : std::vector<std::uint64_t>{small->offset + small->size};
    }
    if (c.at == CutAt::PictureHead) {
        // A picture inside a chunk, right after another one.
        constexpr std::uint64_t kInto = 6;
        const auto& v = video ? video->samples : std::vector<TableSample>{};
        for (std::size_t i = 1; i < v.size(); ++i) {
            if (v[i].offset >= target && v[i].size > kInto &&
                v[i - 1].offset + v[i - 1].size == v[i].offset) {
                return {v[i].offset + kInto};
            }
        }
        return {};
    }
    const std::uint64_t at = c.at == CutAt::Early ? target : chunkCut(t, target, c.handler);
    return at ? std::vector<std::uint64_t>{at} : std::vector<std::uint64_t>{};
}
