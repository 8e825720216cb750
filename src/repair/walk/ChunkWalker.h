#pragma once

#include "codec/Codec.h"
#include "codec/MediaView.h"
#include "codec/Neighbours.h"
#include "walk/Layout.h"
#include "walk/ProbeCache.h"
#include "walk/Recovered.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

namespace repair {

// One chunk as the walk found it, for the verbose log.
struct ChunkFound {
    int track = 0;
    std::uint64_t offset = 0;
    std::uint32_t samples = 0;
    std::uint64_t bytes = 0;
};

// Walks the media data chunk by chunk. At each chunk start it asks the tracks that the
// reference's layout says may come next whether their chunk starts here (a track whose
// bytes cannot be recognised is placed by the layout's chunk sizes, each guess checked
// against what follows it); then it takes that track's samples until the layout and the
// codecs agree the chunk is over. It answers its codecs' questions about the other tracks
// (Neighbours) while they probe.
// A damaged stretch of the anchor's bytes, and what its samples typically hold: a count of
// samples lost fits it as its keyframes and other samples add up.
struct KeyedBytes {
    std::uint64_t stretch = 0; // 0: not known
    std::uint64_t lastKey = 0; // 1-based sample number
    std::uint64_t period = 0;
    double keyBytes = 0;
    double otherBytes = 0;
    double bytesOf(std::uint64_t have, std::uint64_t lost) const;
};

class ChunkWalker : private Neighbours {
public:
    ChunkWalker(MediaView& media, std::vector<std::unique_ptr<Codec>>& codecs,
                const Layout& layout);

    void onChunk(std::function<void(const ChunkFound&)> f) { onChunk_ = std::move(f); }
    // Byte ranges inside the media that are not media (boxes between several mdat boxes).
    void skipOver(std::vector<std::pair<std::uint64_t, std::uint64_t>> holes) {
        holes_ = std::move(holes);
    }
    // Nothing says where the media starts: look for it, first at `guess`.
    void searchStart(std::uint64_t guess) {
        search_ = true;
        guess_ = guess;
    }
    WalkResult run();

private:
    // Chunk starts are checked this many chunks ahead when a track can only be placed by
    // the layout (PCM, then timecode, then video that can be recognised).
    static constexpr int kVerifyDepth = 3;

    struct Start {
        int track = -1;
        Sureness sure = Sureness::No;
        std::uint32_t samples = 0; // of a chunk placed by the layout
        bool cut = false;
        std::uint64_t bytes = 0; // of a sample placed between recognised neighbours
    };
    int count() const { return static_cast<int>(codecs_.size()); }
    SampleGuess probe(int t, std::uint64_t pos);
    Start startAt(int t, std::uint64_t pos, int depth);
    Start placeByLayout(int t, std::uint64_t pos, int depth);
    bool afterWholeChunk(int t, std::uint64_t pos) const;
    bool placedBetween(int t) const;
    // Track t holds one sample a file and it has been taken: no bytes elsewhere are another.
    bool spent(int t) const { return layout_.writtenOnce(t) && chunksTaken_[idx(t)] > 0; }
    // The first place after pos where the media data surely ends a sample; 0: none.
    std::uint64_t boundaryAfter(std::uint64_t pos) const;
    std::uint64_t wipedFrom(int t, std::uint64_t pos, std::uint64_t end);
    Start placeBetween(int t, std::uint64_t pos);
    void checkOwnedBefore(std::uint64_t pos, std::uint64_t bytes);
    std::optional<std::uint64_t> opaqueEnd(int s, std::uint64_t pos, std::uint64_t to);
    std::optional<std::uint64_t> nextSurely(int s, std::uint64_t from, std::uint64_t to);
    std::optional<std::uint64_t> weakRunBefore(int s, std::uint64_t from, std::uint64_t to);
    Start lastChunk(int t, std::uint64_t pos, std::uint32_t room);
    Start choose(std::uint64_t pos);
    std::vector<int> recognisable() const;
    int clockNext() const;
    std::vector<int> expectedNext() const;
    Start bestOf(const std::vector<int>& tracks, std::uint64_t pos, int skip);
    bool startsAt(std::uint64_t pos, Ask ask) override;
    std::optional<int> rawSoundStep(std::uint64_t pos) override;
    bool takeChunk(const Start& s);
    bool takeSamples(const Start& s);
    bool takeLaidOut(const Start& s);
    bool chunkGoesOn(int t, std::uint32_t taken);
    // What looking ahead says of ending a chunk, from worst to best: it does not fit;
    // nothing refuted it as far as the look-ahead reaches; the data ends before anything
    // tells; it leads to a sample surely recognised.
    enum class Fit { No, Open, Cut, Yes };
    bool endsHere(int t, std::uint32_t taken);
    bool onlyOpaqueAfter(int t, std::uint64_t pos);
    std::uint32_t countInTime(int t, std::uint32_t taken) const;
    Fit endFits(int t, std::uint64_t pos, std::uint32_t taken, int depth);
    Fit endFitsUncached(int t, std::uint64_t pos, std::uint32_t taken, int depth);
    Fit runFits(int s, std::uint64_t pos, std::uint32_t count, int depth);
    static std::size_t idx(int t) { return static_cast<std::size_t>(t); }
    void addSample(int t, std::uint64_t size, const SampleFacts& facts);
    void closeChunk(int t, std::uint64_t start, std::uint32_t samples);
    void stop(const std::string& reason, bool early);
    void cutInside(std::uint64_t most, const std::string& what);
    void checkTimes();
    bool gone(int t, double video) const;
    bool skipHole();
    std::uint64_t pastHoles(std::uint64_t pos) const;
    bool findStart();
    std::optional<Start> resync(std::uint64_t from, std::uint64_t& at);
    std::optional<int> probeAt(const std::vector<int>& tracks,
                               const std::vector<std::uint64_t>& next, std::uint64_t p);
    void passDamage(std::uint64_t from, std::uint64_t to, std::uint64_t resume, int resumes);
    void noteDamage(std::uint64_t bytes);
    // Where the anchor's last chunk began, and the sample number (lost ones counted) it
    // began with.
    std::pair<std::uint64_t, std::uint64_t> anchorChunk_{0, 0};
    // A chunk of the anchor's: the sample it starts with and its place in the pattern.
    struct Grid {
        std::uint64_t start = 0;
        std::uint64_t chunk = 0;
    };
    Grid gridOrigin(int anchor, bool later) const;
    bool closesAnchorChunk(int t) const;
    bool onlyBetween(int resumes, std::uint64_t from, std::uint64_t bytes) const;
    bool anchorEndedWhole(std::uint64_t at) const;
    std::uint64_t onChunkGrid(int anchor, double lost, Grid grid);
    // The anchor's samples lost at the last damage, until its first chunk after it
    // settles the count.
    struct Loss {
        bool open = false;
        bool settling = false; // until the anchor's counters tell the count exactly
        bool asked = false;
        std::uint64_t after = 0;            // anchor samples before the damage
        double estimate = 0;                // from the bytes
        std::vector<std::uint64_t> counted; // what the anchor's counters allow
        // Tracks placed against the anchor meanwhile.
        struct Placed {
            int track = 0;
            std::uint64_t after = 0;   // its gap's place
            double behind = 0;         // its samples behind the anchor's time then
            double anchorAt = 0;       // that time, in anchor samples
            bool beforeAnchor = false; // its chunk came before the anchor's first one
        };
        std::vector<Placed> placed;
        // The anchor's first chunk after the damage: its samples, and what its place on the
        // grid holds (0: not on a grid).
        std::uint32_t chunkSamples = 0;
        std::uint32_t chunkCount = 0;
        // The anchor's chunks counted on from the one the damage hit, or from the next one
        // once another track's chunk has come after it.
        Grid grid;
        Grid nextGrid;
        bool laterChunk = false;
        // Damage that hit only the anchor: its bytes, weighed against the anchor's keyframes
        // (every `period` samples after sample `lastKey`) and other samples, in typical sizes.
        KeyedBytes keyed;
    };
    Loss loss_;
    void openLoss(std::uint64_t after, double estimate);
    void countLoss();
    void closeLoss(std::uint32_t samples, bool whole);
    void settleLoss();
    double anchorTime() const;
    void setAnchorLoss(std::uint64_t n);
    void setGap(int t, std::uint64_t after, std::uint64_t n);
    std::uint64_t gapAt(int t, std::uint64_t after) const;
    std::uint64_t nearest(const std::vector<std::uint64_t>& counts) const;
    double lossOff(std::uint64_t n) const;
    KeyedBytes keyedBytes(int anchor, std::uint64_t stretch) const;
    double lostWithin(int anchor, std::uint64_t from, std::uint64_t resume, double mixed) const;
    void settleGrid(int t, std::uint32_t samples, bool whole);
    std::optional<Start> chunkBefore(std::uint64_t from, std::uint64_t to, int next, bool head,
                                     std::uint64_t& start);
    std::optional<Start> chunkOf(int p, std::uint64_t from, std::uint64_t to, bool head,
                                 std::uint64_t& start);
    bool takeBefore(const Start& s, std::uint64_t start, std::uint64_t to);
    std::optional<std::pair<std::uint64_t, std::uint32_t>> runEndingAt(int t, std::uint64_t from,
                                                                       std::uint64_t to);
    struct Run {
        std::uint64_t end = 0;
        std::uint32_t samples = 0;
        bool inRange = true; // no sample larger than the reference's largest
        bool cut = false;    // it ends in a sample the end of the data cuts off
    };
    Run runFrom(int t, std::uint64_t p, std::uint64_t to, bool toCut);
    std::uint64_t reachBack(int t) const;
    void keepInTime(int t);
    void takeSilenceBeforeTail();
    bool endsInSilence(int t) const;
    std::uint32_t endAligned_ = 0; // samples of a chunk found backwards, timed by its end
    double timeOf(int t) const;

    MediaView& media_;
    std::vector<std::unique_ptr<Codec>>& codecs_;
    const Layout& layout_;
    std::vector<std::uint64_t> chunksTaken_;
    std::uint64_t pos_;
    ProbeCache probes_;
    int prev_ = -1;
    int asking_ = -1;
    int othersDepth_ = 0;
    bool stopped_ = false;
    WalkResult result_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> holes_;
    bool search_ = false;
    std::uint64_t guess_ = 0;
    std::vector<bool> afterGap_;  // the track's first chunk after damage is still to come
    std::uint32_t gridCount_ = 0; // samples of the anchor's chunk placed on the grid
    std::map<std::tuple<int, std::uint64_t, std::uint32_t>, Fit> fits_; // endFits answers
    std::function<void(const ChunkFound&)> onChunk_;
};

} // namespace repair
