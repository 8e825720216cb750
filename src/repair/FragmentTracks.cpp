#include "FragmentTracks.h"

#include <algorithm>
#include <limits>

namespace repair {

void TrackBuilder::add(const TrackFragment& f, std::uint64_t begin, std::uint64_t end) {
    out_.listed += f.samples.size();
    if (f.decodeTime && !stopped_ && out_.tables.sampleCount == 0) {
        dts_ = out_.emptyBefore = *f.decodeTime; // shown late by an empty edit
    } else if (f.decodeTime && !stopped_) {
        fillGap(*f.decodeTime);
    }
    bool newChunk = true;
    for (const auto& s : f.samples) {
        const bool whole = s.offset >= begin && s.offset <= end && s.size <= end - s.offset;
        out_.complete += whole ? 1 : 0;
        stopped_ = stopped_ || !whole;
        if (!stopped_) {
            keep(s, f.compositionOffsets, newChunk || s.offset != chunkEnd_);
            newChunk = false;
        }
    }
}

void TrackBuilder::addWalked(const TrackTables& t) {
    std::size_t i = 0, run = 0, sync = 0;
    std::uint32_t used = 0;
    for (std::size_t c = 0; c < t.chunkOffsets.size() && !stopped_; ++c) {
        std::uint64_t at = t.chunkOffsets[c];
        for (std::uint32_t k = 0; k < t.chunkSamples[c] && run < t.durations.size(); ++k) {
            FragmentSample s;
            s.offset = at;
            s.size = t.sizes.empty() ? t.fixedSize : t.sizes[i];
            s.duration = t.durations[run].second;
            if (++used == t.durations[run].first) {
                ++run;
                used = 0;
            }
            s.compositionOffset = i < t.compositionOffsets.size() ? t.compositionOffsets[i] : 0;
            s.sync = t.allSync || (sync < t.syncSamples.size() && t.syncSamples[sync] == i + 1);
            sync += s.sync && !t.allSync ? 1 : 0;
            keep(s, !t.compositionOffsets.empty(), k == 0);
            at += s.size;
            ++i;
            ++out_.listed;
            ++out_.complete;
        }
    }
}

void TrackBuilder::finish() {
    TrackTables& t = out_.tables;
    if (t.allSync) {
        t.syncSamples.clear();
    }
    // A late track's first picture shown is shown when its fragment says: the edit
    // starts the media there, and the empty edit lasts until then.
    if (out_.emptyBefore > 0) {
        std::int64_t first = 0, dts = 0;
        std::size_t i = 0;
        for (const auto& [count, delta] : t.durations) {
            for (std::uint32_t k = 0; k < count && i < t.compositionOffsets.size(); ++k, ++i) {
                const std::int64_t shown = dts + static_cast<std::int32_t>(t.compositionOffsets[i]);
                first = i == 0 ? shown : std::min(first, shown);
                dts += delta;
            }
        }
        out_.mediaTime = std::max<std::int64_t>(first, 0);
        out_.emptyBefore += static_cast<std::uint64_t>(out_.mediaTime);
    }
}

// A fragment that starts later than the samples before it end: the last one lasts
// until it starts.
void TrackBuilder::fillGap(std::uint64_t decodeTime) {
    auto& runs = out_.tables.durations;
    const std::uint64_t longer = runs.empty() ? 0 : runs.back().second + (decodeTime - dts_);
    if (decodeTime <= dts_ || runs.empty() || longer > std::numeric_limits<std::int32_t>::max()) {
        return;
    }
    if (--runs.back().first == 0) {
        runs.pop_back();
    }
    runs.emplace_back(1, static_cast<std::uint32_t>(longer));
    dts_ = decodeTime;
}

void TrackBuilder::keep(const FragmentSample& s, bool offsets, bool newChunk) {
    TrackTables& t = out_.tables;
    if (startAtSync_ && t.sampleCount == 0 && !s.sync) {
        dts_ += s.duration;
        out_.emptyBefore = dts_;
        return;
    }
    if (newChunk || t.chunkSamples.back() == std::numeric_limits<std::uint32_t>::max()) {
        t.chunkOffsets.push_back(s.offset);
        t.chunkSamples.push_back(0);
    }
    ++t.chunkSamples.back();
    chunkEnd_ = s.offset + s.size;
    // Samples all of one size (PCM) keep that size only, and a track all of whose samples
    // are sync no list of them, until a sample differs: memory stays flat for them.
    if (t.sizes.empty() && (t.sampleCount == 0 || s.size == t.fixedSize)) {
        t.fixedSize = s.size;
    } else {
        if (t.sizes.empty()) {
            t.sizes.assign(static_cast<std::size_t>(t.sampleCount), t.fixedSize);
        }
        t.fixedSize = 0;
        t.sizes.push_back(s.size);
    }
    if (!t.durations.empty() && t.durations.back().second == s.duration &&
        t.durations.back().first < std::numeric_limits<std::uint32_t>::max()) {
        ++t.durations.back().first;
    } else {
        t.durations.emplace_back(1, s.duration);
    }
    dts_ += s.duration;
    if (offsets || !t.compositionOffsets.empty()) {
        t.compositionOffsets.resize(static_cast<std::size_t>(t.sampleCount), 0);
        t.compositionOffsets.push_back(s.compositionOffset);
    }
    if (t.allSync && !s.sync) {
        for (std::uint64_t n = 1; n <= t.sampleCount; ++n) {
            t.syncSamples.push_back(static_cast<std::uint32_t>(n));
        }
    }
    ++t.sampleCount;
    t.allSync = t.allSync && s.sync;
    if (s.sync && !t.allSync) {
        t.syncSamples.push_back(static_cast<std::uint32_t>(t.sampleCount));
    }
    out_.keptEnd = std::max(out_.keptEnd, chunkEnd_);
}

} // namespace repair
