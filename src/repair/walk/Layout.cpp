#include "walk/Layout.h"

#include "box/Endian.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace repair {
namespace {

constexpr std::size_t kMaxPeriod = 64;
constexpr std::size_t kMaxCandidates = 8;
constexpr std::size_t kMaxCountsLearnt = 1u << 16;

template <typename Key> std::vector<Key> byFrequency(const std::map<Key, std::uint64_t>& counts) {
    std::vector<Key> out;
    out.reserve(counts.size());
    for (const auto& [key, n] : counts) {
        out.push_back(key);
    }
    std::stable_sort(out.begin(), out.end(),
                     [&](const Key& a, const Key& b) { return counts.at(a) > counts.at(b); });
    return out;
}

// The shortest period that the counts repeat with, allowing one miss in twenty.
std::vector<std::uint32_t> repeatingPattern(const std::vector<std::uint32_t>& seq) {
    const std::size_t n = seq.size();
    for (std::size_t p = 1; p <= kMaxPeriod && p * 2 <= n; ++p) {
        std::size_t misses = 0;
        for (std::size_t i = 0; i + p < n; ++i) {
            misses += seq[i] != seq[i + p];
        }
        if (misses * 20 <= n - p) {
            return {seq.begin(), seq.begin() + static_cast<std::ptrdiff_t>(p)};
        }
    }
    return {};
}

// Every chunk of every track, in the order they lie in the file.
std::vector<Layout::Placed> inFileOrder(const std::vector<RefTrack>& tracks) {
    std::vector<Layout::Placed> all;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        for (const auto& c : tracks[t].chunks) {
            all.push_back({c.offset, static_cast<int>(t), c.samples});
        }
    }
    std::stable_sort(all.begin(), all.end(), [](const Layout::Placed& a, const Layout::Placed& b) {
        return a.offset < b.offset;
    });
    return all;
}

double middle(std::vector<double>& v) {
    if (v.empty()) {
        return 0;
    }
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

Layout::Layout(const std::vector<RefTrack>& tracks, const std::vector<std::uint32_t>& fixedSizes)
    : tracks_(tracks.size()) {
    const auto all = inFileOrder(tracks);
    learnOrder(tracks, all);
    learnAnchor(tracks);
    const double span = anchor_ < 0 || tracks[idx(anchor_)].chunks.empty()
                            ? 0
                            : secondsOf(anchor_, tracks[idx(anchor_)].chunks.front().samples);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        learnCounts(static_cast<int>(t), tracks[t], span);
    }
    learnSampleBytes(tracks, all, fixedSizes);
    learnCountFollows(tracks, all);
    learnTimeRules(tracks, all);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        // A timecode, or a single sample opening the file; a one-second reference may hold a
        // single sample of a per-second metadata track too, but further on.
        tracks_[t].writtenOnce = tracks[t].sampleCount == 1 && tracks[t].chunks.size() == 1 &&
                                 (tracks[t].handler == fourcc("tmcd") ||
                                  (!all.empty() && all.front().track == static_cast<int>(t)));
        tracks_[t].largestSample = tracks[t].maxSampleSize;
        largest_ = std::max<std::uint64_t>(largest_, tracks[t].maxSampleSize);
    }
    learnClock(all);
}

void Layout::learnOrder(const std::vector<RefTrack>& tracks, const std::vector<Placed>& all) {
    std::vector<std::map<int, std::uint64_t>> next(tracks.size());
    std::map<int, std::uint64_t> firstSeen;
    for (std::size_t i = 0; i < all.size(); ++i) {
        firstSeen.emplace(all[i].track, i);
        if (i + 1 < all.size() && all[i + 1].track != all[i].track) {
            ++next[idx(all[i].track)][all[i + 1].track];
        }
    }
    // A short reference may end before its last track's chunk was ever followed: the
    // recording goes on with its cycle, which the reference opened.
    if (!all.empty() && next[idx(all.back().track)].empty() &&
        all.back().track != all.front().track) {
        ++next[idx(all.back().track)][all.front().track];
    }
    std::vector<std::map<int, std::uint64_t>> previous(tracks.size());
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        tracks_[t].next = byFrequency(next[t]);
        for (const auto& [after, n] : next[t]) {
            previous[idx(after)][static_cast<int>(t)] += n;
        }
    }
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        tracks_[t].previous = byFrequency(previous[t]);
    }
    // A track written once (a timecode) sits between two others only the first time: what
    // follows it may follow its predecessor too.
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        auto& list = tracks_[t].next;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (tracks[idx(list[i])].chunks.size() != 1) {
                continue;
            }
            for (int after : byFrequency(next[idx(list[i])])) {
                if (after != static_cast<int>(t) &&
                    std::find(list.begin(), list.end(), after) == list.end()) {
                    list.push_back(after);
                }
            }
        }
    }
    for (const auto& [track, at] : firstSeen) {
        first_.push_back(track);
    }
    std::sort(first_.begin(), first_.end(),
              [&](int a, int b) { return firstSeen.at(a) < firstSeen.at(b); });
}

void Layout::learnAnchor(const std::vector<RefTrack>& tracks) {
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const auto& r = tracks[t];
        tracks_[t].sampleSeconds =
            r.timescale ? static_cast<double>(r.sampleDuration) / r.timescale : 0;
        if (anchor_ < 0 && isVideoHandler(r.handler) && tracks_[t].sampleSeconds > 0) {
            anchor_ = static_cast<int>(t);
        }
    }
}

// span: seconds of the anchor's first chunk.
void Layout::learnCounts(int t, const RefTrack& track, double span) {
    tracks_[idx(t)].chunksSeen = track.chunks.size();
    std::vector<std::uint32_t> seq;
    for (const auto& c : track.chunks) {
        if (seq.size() >= kMaxCountsLearnt) {
            break;
        }
        seq.push_back(c.samples);
    }
    // The last chunk is often cut short by the end of the recording: left out where there is
    // a pattern to learn, tried last where there are too few chunks for one.
    const std::uint32_t last = seq.empty() ? 0 : seq.back();
    if (!seq.empty()) {
        seq.pop_back();
    }
    std::map<std::uint32_t, std::uint64_t> freq;
    for (std::uint32_t n : seq) {
        if (n > 0) {
            ++freq[n];
        }
    }
    PerTrack& p = tracks_[idx(t)];
    p.counts = byFrequency(freq);
    for (const auto& c : track.chunks) {
        p.maxCount = std::max(p.maxCount, c.samples);
    }
    if (seq.size() >= 2) {
        p.pattern = repeatingPattern(seq);
        return;
    }
    seq.push_back(last);
    p.pattern = repeatingPattern(seq);
    if (p.pattern.empty() && seq.size() == 2 && t != anchor_) {
        countsInTime(t, track, span);
    }
    addCount(p, last);
}

// Two chunks of a track that disagree, from a short reference: a track whose first chunk
// lasts as long as the anchor's holds as many samples as fill that time, rounded either way
// (sound frames that do not divide a chunk's time alternate).
void Layout::countsInTime(int t, const RefTrack& track, double span) {
    PerTrack& p = tracks_[idx(t)];
    const double per = p.sampleSeconds;
    if (anchor_ < 0 || per <= 0 || span <= 0) {
        return;
    }
    const double slack = std::max(per, tracks_[idx(anchor_)].sampleSeconds);
    if (std::abs(secondsOf(t, track.chunks.front().samples) - span) > slack) {
        return;
    }
    const double n = span / per;
    for (const double c : {std::floor(n + 1e-9), std::ceil(n - 1e-9)}) {
        if (c >= 1 && c <= static_cast<double>(p.maxCount) * 2) {
            addCount(p, static_cast<std::uint32_t>(c));
        }
    }
}

void Layout::addCount(PerTrack& p, std::uint32_t n) {
    if (n > 0 && std::find(p.counts.begin(), p.counts.end(), n) == p.counts.end()) {
        p.counts.push_back(n);
        p.maxCount = std::max(p.maxCount, n);
    }
}

void Layout::learnSampleBytes(const std::vector<RefTrack>& tracks, const std::vector<Placed>& all,
                              const std::vector<std::uint32_t>& fixedSizes) {
    std::vector<std::map<std::uint32_t, std::uint64_t>> votes(tracks.size());
    std::vector<std::uint64_t> chunks(tracks.size());
    for (std::size_t i = 0; i + 1 < all.size(); ++i) {
        const auto t = idx(all[i].track);
        const std::uint64_t extent = all[i + 1].offset - all[i].offset;
        if (fixedSizes[t] == 0 || all[i].samples == 0) {
            continue;
        }
        ++chunks[t];
        if (extent % all[i].samples == 0 && extent / all[i].samples <= 0xffffffffu) {
            ++votes[t][static_cast<std::uint32_t>(extent / all[i].samples)];
        }
    }
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        tracks_[t].sampleBytes = fixedSizes[t];
        const auto ranked = byFrequency(votes[t]);
        if (!ranked.empty() && votes[t][ranked[0]] * 2 > chunks[t]) {
            tracks_[t].sampleBytes = ranked[0];
        }
    }
}

void Layout::learnCountFollows(const std::vector<RefTrack>& tracks,
                               const std::vector<Placed>& all) {
    std::vector<std::uint64_t> same(tracks.size());
    std::vector<std::uint64_t> seen(tracks.size());
    for (std::size_t i = 1; i < all.size(); ++i) {
        if (all[i].track != all[i - 1].track) {
            ++seen[idx(all[i].track)];
            same[idx(all[i].track)] += all[i].samples == all[i - 1].samples;
        }
    }
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        tracks_[t].countFollows = seen[t] >= 2 && same[t] * 20 >= seen[t] * 19;
    }
}

void Layout::learnTimeRules(const std::vector<RefTrack>& tracks, const std::vector<Placed>& all) {
    if (anchor_ < 0) {
        return;
    }
    std::vector<std::uint64_t> samples(tracks.size());
    std::vector<std::uint64_t> chunks(tracks.size());
    std::vector<double> lo(tracks.size(), 1e18);
    std::vector<double> hi(tracks.size(), -1e18);
    std::vector<std::vector<double>> offsets(tracks.size());
    std::vector<std::vector<double>> endOffsets(tracks.size());
    for (const auto& c : all) {
        const auto t = idx(c.track);
        if (offsets[t].size() < kMaxCountsLearnt) {
            offsets[t].push_back(secondsOf(c.track, samples[t]) -
                                 secondsOf(anchor_, samples[idx(anchor_)]));
            endOffsets[t].push_back(secondsOf(c.track, samples[t] + c.samples) -
                                    secondsOf(anchor_, samples[idx(anchor_)]));
        }
        samples[t] += c.samples;
        const double per = tracks_[t].sampleSeconds;
        // A track's last chunk may end with the recording, out of step.
        if (static_cast<int>(t) == anchor_ || per <= 0 || ++chunks[t] >= tracks[t].chunks.size()) {
            continue;
        }
        const double lead =
            (secondsOf(c.track, samples[t]) - secondsOf(anchor_, samples[idx(anchor_)])) / per;
        lo[t] = std::min(lo[t], lead);
        hi[t] = std::max(hi[t], lead);
    }
    const double seconds = secondsOf(anchor_, samples[idx(anchor_)]);
    if (all.size() > 1 && seconds > 0) {
        bytesPerSecond_ = static_cast<double>(all.back().offset - all.front().offset) / seconds;
    }
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        tracks_[t].startOffset = middle(offsets[t]);
        tracks_[t].endOffset = middle(endOffsets[t]);
        if (lo[t] > hi[t]) {
            continue;
        }
        constexpr double e = 1e-6;
        tracks_[t].timeRule = lo[t] >= -e && hi[t] <= 1 + e   ? TimeRule::Cover
                              : lo[t] >= -1 - e && hi[t] <= e ? TimeRule::Short
                                                              : TimeRule::None;
    }
}

std::vector<std::uint32_t> Layout::countsFor(int t, std::uint64_t k) const {
    const PerTrack& p = tracks_[idx(t)];
    std::vector<std::uint32_t> out;
    if (!p.pattern.empty()) {
        out.push_back(p.pattern[k % p.pattern.size()]);
    }
    for (std::uint32_t n : p.counts) {
        if (out.size() >= kMaxCandidates) {
            break;
        }
        if (std::find(out.begin(), out.end(), n) == out.end()) {
            out.push_back(n);
        }
    }
    return out;
}

bool Layout::knownCount(int t, std::uint32_t count) const {
    const auto& c = tracks_[idx(t)].counts;
    return std::find(c.begin(), c.end(), count) != c.end();
}

} // namespace repair
