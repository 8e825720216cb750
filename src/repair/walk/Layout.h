#pragma once

#include "box/Reference.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace repair {

// How a track's chunks keep in time with the anchor (video) track in the reference: each
// covers the anchor's time so far (at most one sample past it), or stops short of it.
enum class TimeRule { None, Cover, Short };

// How the reference lays out its chunks, which the broken file, recorded by the same
// camera with the same settings, repeats: which track's chunk follows which, how many
// samples each track's chunks hold (and in what repeating pattern), and how many bytes a
// sample of a fixed-size track takes.
class Layout {
public:
    // fixedSizes: per track, the codec's bytes per sample (0 when they vary).
    Layout(const std::vector<RefTrack>& tracks, const std::vector<std::uint32_t>& fixedSizes);

    std::size_t trackCount() const { return tracks_.size(); }
    // Tracks whose chunk may open the media data, most likely first.
    const std::vector<int>& firstTracks() const { return first_; }
    // Tracks whose chunk may follow one of track t, most likely first.
    const std::vector<int>& successors(int t) const { return tracks_[idx(t)].next; }
    // Tracks whose chunk may come right before one of track t, most likely first.
    const std::vector<int>& predecessors(int t) const { return tracks_[idx(t)].previous; }
    // Sample counts to try for the k-th chunk of track t (counted from 0), likeliest first.
    std::vector<std::uint32_t> countsFor(int t, std::uint64_t k) const;
    bool knownCount(int t, std::uint32_t count) const;
    // True when a chunk of track t holds as many samples as the chunk of another track
    // right before it (audio tracks written side by side for the same stretch of time).
    bool countFollows(int t) const { return tracks_[idx(t)].countFollows; }
    // The track others keep in time with (the first video track), or -1.
    int anchor() const { return anchor_; }
    TimeRule timeRule(int t) const { return tracks_[idx(t)].timeRule; }
    // Where track t stands in time, at the start of one of its chunks, against the anchor
    // at the same place in the file (seconds; the reference's middle value).
    double startOffset(int t) const { return tracks_[idx(t)].startOffset; }
    // The same at the end of its chunks, against the anchor right after them.
    double endOffset(int t) const { return tracks_[idx(t)].endOffset; }
    // Media bytes the reference holds per second of its anchor track.
    double bytesPerSecond() const { return bytesPerSecond_; }
    // Seconds that n samples of track t last.
    double secondsOf(int t, std::uint64_t n) const {
        return static_cast<double>(n) * tracks_[idx(t)].sampleSeconds;
    }
    std::uint32_t maxCount(int t) const { return tracks_[idx(t)].maxCount; }
    // Bytes per sample of a fixed-size track, as the reference's chunks show it.
    std::uint32_t sampleBytes(int t) const { return tracks_[idx(t)].sampleBytes; }
    // The largest sample of any track, in bytes.
    std::uint64_t largestSample() const { return largest_; }
    std::uint64_t largestSampleOf(int t) const { return tracks_[idx(t)].largestSample; }
    std::size_t patternLength(int t) const { return tracks_[idx(t)].pattern.size(); }
    // How many chunks of track t the reference holds.
    std::size_t chunksSeen(int t) const { return tracks_[idx(t)].chunksSeen; }
    // Track t holds one sample a file (a timecode's start frame): once it is taken, bytes
    // elsewhere that fit it are not another.
    bool writtenOnce(int t) const { return tracks_[idx(t)].writtenOnce; }

    // The reference's chunks come in the order of the tracks' clocks (see LayoutClock.cpp):
    // the next chunk is of the track on the clock whose next sample is due first.
    bool clocked() const { return clocked_; }
    // Track t keeps time with the others' chunks: it has a sample duration and writes chunk
    // after chunk.
    bool onClock(int t) const;

    // One chunk of the reference, as the file holds them in order.
    struct Placed {
        std::uint64_t offset;
        int track;
        std::uint32_t samples;
    };

private:
    struct PerTrack {
        std::vector<int> next;
        std::vector<int> previous;
        std::uint64_t largestSample = 0;
        std::vector<std::uint32_t> counts;  // distinct sample counts, most frequent first
        std::vector<std::uint32_t> pattern; // one period of the repeating counts
        std::uint32_t maxCount = 0;
        std::size_t chunksSeen = 0;
        std::uint32_t sampleBytes = 0;
        bool countFollows = false;
        bool writtenOnce = false;
        TimeRule timeRule = TimeRule::None;
        double sampleSeconds = 0;
        double startOffset = 0;
        double endOffset = 0;
    };
    static std::size_t idx(int t) { return static_cast<std::size_t>(t); }
    void learnOrder(const std::vector<RefTrack>& tracks, const std::vector<Placed>& all);
    void learnCountFollows(const std::vector<RefTrack>& tracks, const std::vector<Placed>& all);
    void learnTimeRules(const std::vector<RefTrack>& tracks, const std::vector<Placed>& all);
    void learnClock(const std::vector<Placed>& all);
    void learnAnchor(const std::vector<RefTrack>& tracks);
    void learnCounts(int t, const RefTrack& track, double span);
    void countsInTime(int t, const RefTrack& track, double span);
    static void addCount(PerTrack& p, std::uint32_t n);
    void learnSampleBytes(const std::vector<RefTrack>& tracks, const std::vector<Placed>& all,
                          const std::vector<std::uint32_t>& fixedSizes);

    std::vector<PerTrack> tracks_;
    std::vector<int> first_;
    std::uint64_t largest_ = 0;
    int anchor_ = -1;
    double bytesPerSecond_ = 0;
    bool clocked_ = false;
};

} // namespace repair
