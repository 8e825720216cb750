#include "FragmentWalk.h"

#include "Engine.h"
#include "box/RepairError.h"
#include "codec/MediaView.h"

namespace repair {

WalkedFragment walkFragment(const ByteSource& file, const Reference& ref, std::uint64_t begin,
                            std::uint64_t end, bool cut) {
    WalkedFragment out;
    out.tracks.resize(ref.tracks.size());
    try {
        Engine engine(ref, file, Options{});
        MediaData media;
        media.begin = begin;
        media.end = end;
        media.cut = cut;
        const WalkResult walk = engine.walk(file, media);
        out.lostToCut = walk.lostToCut;
        for (auto& t : engine.outputTracks(walk, 0)) {
            out.tracks[static_cast<std::size_t>(t.ref - ref.tracks.data())] = std::move(t.tables);
        }
    } catch (const RepairError&) {
        // A codec the walk cannot tell (Opus): nothing of the fragment is found.
    }
    return out;
}

namespace {

// Samples are sized one after another here: what a probe finds beyond its place is found
// again when the next one is asked.
class Unkept : public ProbeNotes {
public:
    void found(std::uint64_t /*pos*/, const SampleGuess& /*guess*/) override {}
};

// One run's samples, sized by its codec; nothing when a sample cannot be told.
std::optional<TrackTables> countRun(Codec& codec, MediaView& view, std::uint64_t& pos,
                                    const ExpectedRun& run) {
    TrackTables t;
    t.chunkOffsets = {pos};
    t.fixedSize = codec.fixedSize() == 0 ? 0 : run.size != 0 ? run.size : codec.fixedSize();
    if (t.fixedSize > 0 && run.samples > (view.limit() - pos) / t.fixedSize) {
        return std::nullopt;
    }
    pos += t.fixedSize * run.samples; // samples alike: nothing to tell apart
    Unkept notes;
    for (std::uint64_t k = 0; k < run.samples && t.fixedSize == 0; ++k) {
        const SampleGuess g = codec.probe(view, pos, notes);
        if (g.sure == Sureness::No || g.size == 0 || g.cut || g.size > view.limit() - pos ||
            g.size > UINT32_MAX) {
            return std::nullopt;
        }
        const bool sync = codec.take(view, pos, g.size).sync;
        t.sizes.push_back(static_cast<std::uint32_t>(g.size));
        t.allSync = t.allSync && sync;
        if (sync) {
            t.syncSamples.push_back(static_cast<std::uint32_t>(k + 1));
        }
        pos += g.size;
    }
    t.sampleCount = run.samples;
    t.chunkSamples = {static_cast<std::uint32_t>(run.samples)};
    t.durations = {{static_cast<std::uint32_t>(run.samples), run.duration}};
    for (std::uint32_t units : codec.compositionOffsets()) {
        t.compositionOffsets.push_back(units * run.duration);
    }
    return t;
}

} // namespace

std::optional<WalkedFragment> countFragment(const ByteSource& file, const Reference& ref,
                                            std::uint64_t begin, std::uint64_t end,
                                            const std::vector<ExpectedRun>& runs) {
    WalkedFragment out;
    out.tracks.resize(ref.tracks.size());
    try {
        Engine engine(ref, file, Options{});
        MediaView view(file, begin, end, false);
        std::uint64_t pos = begin;
        for (const auto& run : runs) {
            // Every sample takes a byte at least: a count past that is not believed.
            if (run.samples > end - pos || run.samples > UINT32_MAX) {
                return std::nullopt;
            }
            out.tracks[run.track] = countRun(*engine.codecs()[run.track], view, pos, run);
            if (!out.tracks[run.track]) {
                return std::nullopt;
            }
        }
        return pos == end ? std::optional(std::move(out)) : std::nullopt;
    } catch (const RepairError&) {
        return std::nullopt;
    }
}

} // namespace repair
