#include "CameraScore.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

namespace {

std::uint64_t fnv(const std::vector<std::uint8_t>& b) {
    std::uint64_t h = 1469598103934665603ull;
    for (auto v : b) {
        h = (h ^ v) * 1099511628211ull;
    }
    return h ^ (b.size() << 48);
}

// Whether two decode times lie within `slack` seconds (all as tick/timescale fractions).
bool near(std::uint64_t a, std::uint32_t aScale, std::uint64_t b, std::uint32_t bScale,
          long double slack) {
    if (aScale == 0 || bScale == 0) {
        return false;
    }
    const long double d =
        static_cast<long double>(a) / aScale - static_cast<long double>(b) / bScale;
    return (d < 0 ? -d : d) <= slack + 1e-9L;
}

// Frames matched at a time where a run holds damage.
constexpr std::uint64_t kDamagePiece = 256;

long double slackFor(const Kept& kept, long double sampleSeconds) {
    return kept.slack >= 0 ? kept.slack : sampleSeconds;
}

TrackScore scoreSamples(const camlayout::TruthTrack& truth, FileBytes& original, const Kept& kept,
                        const TableTrack& rep, FileBytes& result) {
    TrackScore s;
    std::map<std::uint64_t, std::vector<std::size_t>> where;
    std::vector<const camlayout::TruthSample*> want;
    for (const auto& t : truth.samples) {
        if (kept.holds(t.offset, t.size)) {
            const auto b = original.read(t.offset, t.size);
            where[b ? fnv(*b) : 0].push_back(want.size());
            want.push_back(&t);
            s.expectedBytes += t.size;
        }
    }
    s.expected = want.size();
    std::size_t next = 0;
    for (const auto& r : rep.samples) {
        const auto b = result.read(r.offset, r.size);
        const auto it = b ? where.find(fnv(*b)) : where.end();
        if (it == where.end()) {
            ++s.extra;
            s.extraBytes += r.size;
            continue;
        }
        const auto hit = std::lower_bound(it->second.begin(), it->second.end(), next);
        if (hit == it->second.end()) {
            ++s.misordered;
            continue;
        }
        const camlayout::TruthSample& o = *want[*hit];
        ++s.recovered;
        s.recoveredBytes += o.size;
        const long double slack = slackFor(
            kept, std::max(static_cast<long double>(o.duration) / truth.timescale,
                           static_cast<long double>(r.duration) / std::max(1u, rep.timescale)));
        if (kept.times && !near(r.dts, rep.timescale, o.dts, truth.timescale, slack)) {
            ++s.mistimed;
        }
        next = *hit + 1;
    }
    return s;
}

// LPCM: the original's sound that was kept, as one byte stream; each run of the result's
// samples that lie back to back in its file must be a piece of it, in order.
TrackScore scorePcm(const camlayout::TruthTrack& truth, FileBytes& original, const Kept& kept,
                    const TableTrack& rep, FileBytes& result) {
    TrackScore s;
    const std::uint64_t fb = truth.frameBytes;
    std::vector<std::uint8_t> stream;
    std::map<std::uint64_t, std::uint64_t> frameAt; // stream offset -> original frame number
    for (const auto& t : truth.samples) {
        for (std::uint64_t k = 0; k < t.duration; ++k) {
            const std::uint64_t at = t.offset + k * fb;
            if (!kept.holds(at, fb)) {
                continue;
            }
            const auto b = original.read(at, fb);
            if (!b) {
                continue;
            }
            const auto prev = frameAt.empty() ? frameAt.end() : std::prev(frameAt.end());
            if (prev == frameAt.end() ||
                prev->second + (stream.size() - prev->first) / fb != t.dts + k) {
                frameAt[stream.size()] = t.dts + k;
            }
            stream.insert(stream.end(), b->begin(), b->end());
        }
    }
    s.expected = stream.size() / fb;
    s.expectedBytes = stream.size();
    std::size_t next = 0;
    for (std::size_t i = 0; i < rep.samples.size();) {
        std::size_t j = i + 1;
        std::uint64_t bytes = rep.samples[i].size;
        while (j < rep.samples.size() &&
               rep.samples[j].offset == rep.samples[j - 1].offset + rep.samples[j - 1].size) {
            bytes += rep.samples[j++].size;
        }
        const TableSample& first = rep.samples[i];
        const std::uint64_t frames = (bytes + fb - 1) / fb;
        i = j;
        const auto run = result.read(first.offset, bytes);
        if (!run || run->empty()) {
            s.extra += frames;
            s.extraBytes += bytes;
            continue;
        }
        // A run that holds damaged bytes is matched piece by piece, so the sound around the
        // damage still counts.
        const std::uint64_t piece = kept.damaged.empty() ? bytes : kDamagePiece * fb;
        for (std::uint64_t off = 0; off < bytes; off += piece) {
            const auto b = run->begin() + static_cast<std::ptrdiff_t>(off);
            const auto e = run->begin() + static_cast<std::ptrdiff_t>(std::min(bytes, off + piece));
            const std::uint64_t n = (static_cast<std::uint64_t>(e - b) + fb - 1) / fb;
            const std::boyer_moore_horspool_searcher searcher(b, e);
            auto at = std::search(stream.begin() + static_cast<std::ptrdiff_t>(next), stream.end(),
                                  searcher);
            if (at == stream.end() ||
                (at - stream.begin()) % static_cast<std::ptrdiff_t>(fb) != 0) {
                const bool elsewhere =
                    std::search(stream.begin(), stream.end(), searcher) != stream.end();
                (elsewhere ? s.misordered : s.extra) += n;
                s.extraBytes += elsewhere ? 0 : n * fb;
                continue;
            }
            const auto pos = static_cast<std::uint64_t>(at - stream.begin());
            s.recovered += n;
            s.recoveredBytes += n * fb;
            const auto seg = std::prev(frameAt.upper_bound(pos));
            const std::uint64_t frame = seg->second + (pos - seg->first) / fb;
            const long double slack = slackFor(
                kept, std::max(1.0L / truth.timescale, static_cast<long double>(first.duration) /
                                                           std::max(1u, rep.timescale)));
            const std::uint64_t dts = first.dts + off / fb * first.duration;
            if (kept.times && !near(dts, rep.timescale, frame, truth.timescale, slack)) {
                s.mistimed += n;
            }
            next = pos + static_cast<std::uint64_t>(e - b);
        }
    }
    return s;
}

} // namespace

FileBytes::FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<std::vector<std::uint8_t>> FileBytes::read(std::uint64_t offset,
                                                         std::uint64_t bytes) {
    if (offset > bytes_.size() || bytes > bytes_.size() - offset) {
        return std::nullopt;
    }
    const auto from = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::vector<std::uint8_t>(from, from + static_cast<std::ptrdiff_t>(bytes));
}

bool Kept::holds(std::uint64_t offset, std::uint64_t size) const {
    if (offset < begin || offset + size > cut) {
        return false;
    }
    return std::none_of(damaged.begin(), damaged.end(), [&](const auto& d) {
        return offset < d.second && offset + size > d.first;
    });
}

TrackScore scoreTrack(const camlayout::TruthTrack& truth, FileBytes& original, const Kept& kept,
                      const TableTrack* repaired, FileBytes& result) {
    const TableTrack none;
    const TableTrack& rep = repaired ? *repaired : none;
    return truth.frameBytes ? scorePcm(truth, original, kept, rep, result)
                            : scoreSamples(truth, original, kept, rep, result);
}

const TableTrack* matchTrack(const camlayout::Truth& truth, std::size_t index,
                             const std::vector<TableTrack>& repaired) {
    const camlayout::TruthTrack& t = truth.tracks[index];
    for (const auto& r : repaired) {
        if (r.id == t.id && r.handler == t.handler) {
            return &r;
        }
    }
    const auto same = [&](const std::string& handler, const std::string& fourcc) {
        return handler == t.handler && fourcc == t.fourcc;
    };
    std::size_t rank = 0;
    for (std::size_t i = 0; i < index; ++i) {
        rank += same(truth.tracks[i].handler, truth.tracks[i].fourcc) ? 1 : 0;
    }
    for (const auto& r : repaired) {
        if (same(r.handler, r.fourcc) && rank-- == 0) {
            return &r;
        }
    }
    return nullptr;
}

bool tablesMatchTruth(const camlayout::TruthTrack& truth, const TableTrack& read) {
    if (read.id != truth.id || read.handler != truth.handler || read.fourcc != truth.fourcc ||
        read.timescale != truth.timescale) {
        return false;
    }
    std::size_t r = 0;
    for (const auto& t : truth.samples) {
        // An LPCM chunk row stands for `duration` frames read back one by one.
        const std::uint64_t n = truth.frameBytes ? t.duration : 1;
        std::uint64_t offset = t.offset;
        for (std::uint64_t k = 0; k < n; ++k, ++r) {
            if (r >= read.samples.size() || read.samples[r].offset != offset ||
                read.samples[r].dts != t.dts + k * (truth.frameBytes ? 1 : 0)) {
                return false;
            }
            const std::uint32_t size = truth.frameBytes ? truth.frameBytes : t.size;
            if (read.samples[r].size != size ||
                read.samples[r].duration != (truth.frameBytes ? 1 : t.duration)) {
                return false;
            }
            offset += size;
        }
    }
    return r == read.samples.size();
}
