#pragma once

#include "AacConfig.h"
#include "AacFrameFinder.h"
#include "AccessUnit.h"
#include "ByteSource.h"
#include "Composition.h"
#include "H264Params.h"
#include "Interleave.h"
#include "VideoProbe.h"
#include "Window.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace repair {

struct Sample {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::int8_t track = kVideo;
    bool sync = true;
};

struct WalkSetup {
    AvcConfig avc;
    VideoProbeSettings video;
    std::optional<AacConfig> aac;
    int aacLowGain = 80;
    std::uint32_t audioMaxSample = 0; // largest audio sample of the reference
    bool endIsCut = true;             // the media data ends where the file was cut
    InterleavePredictor predictor;
};

struct WalkResult {
    std::vector<Sample> samples;
    std::vector<PictureOrder> pictures; // one per video sample, in decode order
    std::uint64_t videoCount = 0;
    std::uint64_t audioCount = 0;
    std::uint64_t skippedBytes = 0;
    int resyncs = 0;
    std::uint64_t hintedSamples = 0; // samples whose track the interleave hint decided
    std::uint64_t stoppedAt = 0;
    std::string stopReason;
};

// Walks the media data of a broken file and assigns each byte range to a video access
// unit or an audio frame, in file order. Stops at the cut, dropping only what is
// incomplete there.
class MediaWalker {
public:
    MediaWalker(const ByteSource& src, std::uint64_t begin, std::uint64_t limit, WalkSetup setup);

    // Called every few megabytes with the position reached.
    void onProgress(std::function<void(std::uint64_t, const WalkResult&)> progress) {
        progress_ = std::move(progress);
    }

    WalkResult run();

private:
    bool step();
    void takeNal(const NalProbe& nal);
    std::size_t takeAudio();
    void finishUnit();
    Sps orderRules(const SliceHeader& first) const;
    void emit(std::uint64_t offset, std::uint64_t size, int track, bool sync);
    std::optional<std::uint64_t> resync(std::uint64_t from);
    bool resyncPoint(std::uint64_t q);
    void learnParamSet(const NalProbe& nal);
    bool audioCouldStart(std::uint64_t pos);

    const ByteSource& src_;
    std::uint64_t pos_;
    std::uint64_t limit_;
    WalkSetup setup_;
    ParamSets params_;
    Window window_;
    VideoProbe video_;
    std::unique_ptr<AacFrameFinder> audio_;
    std::vector<std::uint8_t> scratch_;
    AccessUnit unit_;
    PocCounter poc_;
    WalkResult result_;
    std::function<void(std::uint64_t, const WalkResult&)> progress_;
};

} // namespace repair
