#pragma once

#include "box/Fragments.h"
#include "write/OwnTables.h"
#include "write/SampleTables.h"

#include <cstdint>

namespace repair {

// One track's tables as its fragments come, in file order.
class TrackBuilder {
public:
    explicit TrackBuilder(OwnTrack& out) : out_(out) {}

    // The samples of one traf; those not wholly in [begin, end) and all after them are
    // left out. A tfdt later than the samples before it end stretches the last one.
    void add(const TrackFragment& f, std::uint64_t begin, std::uint64_t end);
    // Samples a walk found where a moof was lost: they count as listed and whole.
    void addWalked(const TrackTables& t);
    // After the last fragment.
    void finish();

    // After damage before the first fragment: samples up to the first sync one are left
    // out (they cannot be decoded), their time shown empty.
    void startAtSync() { startAtSync_ = true; }
    // Decode time where the next sample goes.
    std::uint64_t decodeTime() const { return dts_; }
    bool stopped() const { return stopped_; }
    // Size of the last sample kept; 0: none.
    std::uint32_t lastSize() const {
        return out_.tables.sizes.empty() ? out_.tables.fixedSize : out_.tables.sizes.back();
    }

private:
    void fillGap(std::uint64_t decodeTime);
    void keep(const FragmentSample& s, bool offsets, bool newChunk);

    OwnTrack& out_;
    std::uint64_t dts_ = 0;
    std::uint64_t chunkEnd_ = 0;
    bool stopped_ = false;
    bool startAtSync_ = false;
};

} // namespace repair
