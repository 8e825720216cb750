#pragma once

#include "Options.h"
#include "box/BrokenFile.h"
#include "box/Reference.h"
#include "codec/Codec.h"
#include "walk/Recovered.h"
#include "write/MoovWriter.h"

#include <functional>
#include <memory>
#include <vector>

namespace repair {

// The repair without its files: a recogniser for every reference track, the walk over
// the broken file's media data, and the output tracks built from what the walk found.
class Engine {
public:
    // Throws RepairError (unsupported) when a reference track's codec is not known.
    Engine(const Reference& ref, const ByteSource& refFile, const Options& options);

    // Called for every chunk found (for the verbose log).
    void onChunk(std::function<void(const struct ChunkFound&)> f) { onChunk_ = std::move(f); }

    // Walks the media data; reached, if given, hears how far the walk has read.
    WalkResult walk(const ByteSource& broken, const MediaData& media,
                    const std::function<void(std::uint64_t)>& reached = {});

    // The output tracks for media copied so that input byte x lands at x + shift; tracks
    // with no sample are left out.
    std::vector<TrackOut> outputTracks(const WalkResult& walk, std::int64_t shift) const;

    const std::vector<std::unique_ptr<Codec>>& codecs() const { return codecs_; }

private:
    std::uint64_t referenceMediaOffset() const;

    const Reference& ref_;
    std::vector<std::unique_ptr<Codec>> codecs_;
    std::function<void(const struct ChunkFound&)> onChunk_;
};

} // namespace repair
