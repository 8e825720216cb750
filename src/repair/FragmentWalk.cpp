#include "FragmentWalk.h"

#include "Engine.h"
#include "box/RepairError.h"

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

} // namespace repair
