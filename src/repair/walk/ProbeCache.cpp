#include "walk/ProbeCache.h"

#include <algorithm>

namespace repair {

SampleGuess ProbeCache::ask(int t, Codec& codec, MediaView& media, std::uint64_t pos) {
    Answers& kept = tracks_[static_cast<std::size_t>(t)];
    const auto at = [pos](const auto& a) { return a.first == pos; };
    if (const auto it = std::find_if(kept.begin(), kept.end(), at); it != kept.end()) {
        return it->second;
    }
    if (media.nested()) {
        Notes ignore(nullptr);
        return codec.probe(media, pos, ignore);
    }
    // A probe asks other tracks in turn, which read their own answers here: the samples
    // found are gathered apart until it returns. Nested questions are never kept, so no
    // other probe gathers into the same place meanwhile.
    found_.clear();
    Notes notes(&found_);
    const SampleGuess g = codec.probe(media, pos, notes);
    found_.emplace_back(pos, g);
    kept.swap(found_);
    return g;
}

void ProbeCache::taken(int t, std::uint64_t pos) {
    Answers& kept = tracks_[static_cast<std::size_t>(t)];
    std::erase_if(kept, [pos](const auto& a) { return a.first == pos; });
}

} // namespace repair
