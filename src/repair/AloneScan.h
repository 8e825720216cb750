#pragma once

#include "Options.h"
#include "box/ByteSource.h"
#include "box/Reference.h"
#include "codec/NalSyntax.h"

#include <cstdint>
#include <vector>

namespace repair {

// A stretch of the media data as a scan for video tells it: a chunk of video access units,
// or a run of other bytes between them (another track's chunk).
struct Stretch {
    std::uint64_t offset = 0;
    std::uint64_t bytes = 0;
    std::uint32_t samples = 0; // video: access units
    bool video = false;
};

struct MediaScan {
    std::vector<Stretch> stretches; // in file order
    std::vector<RefSample> firstSamples;
    std::vector<std::uint32_t> syncSamples; // 1-based
    std::uint64_t frames = 0;
    std::uint64_t largest = 0;
    // The last run reaches the end of what was scanned: it may go on past it.
    bool openEnd = false;
};

// Walks the video of [begin, limit) access unit by access unit with the recogniser of
// `video` (whose reference file is `file` itself), and passes over whatever lies between
// its chunks to the next access unit; at most maxFrames of them. kind and lengthSize: its
// codec and NAL length size.
MediaScan scanMedia(const ByteSource& file, std::uint64_t begin, std::uint64_t limit,
                    const RefTrack& video, VideoCodec kind, int lengthSize, const Options& o,
                    std::uint64_t maxFrames);

} // namespace repair
