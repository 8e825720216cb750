#include "ZeroTail.h"

#include "CameraRun.h"
#include "MediaFixture.h"

#include <algorithm>

namespace {

using camlayout::Truth;

std::uint64_t midVideoSample(const Truth& t, std::uint64_t target) {
    for (const auto& track : t.tracks) {
        if (track.handler != "vide") {
            continue;
        }
        for (const auto& s : track.samples) {
            if (s.offset >= target) {
                return s.offset + s.size / 2;
            }
        }
    }
    return target;
}

// LPCM rows stand for whole chunks: their boundaries inside are between frames.
std::uint64_t betweenSamples(const Truth& t, std::uint64_t target) {
    for (const auto& c : t.chunks) {
        const std::uint64_t end = c.offset + c.size;
        const auto& track = t.tracks[c.track];
        if (end <= target) {
            continue;
        }
        if (track.frameBytes) {
            const std::uint64_t fb = track.frameBytes;
            const std::uint64_t from = std::max(target, c.offset + 1) - c.offset;
            const std::uint64_t at = c.offset + (from + fb - 1) / fb * fb;
            if (at < end) {
                return at;
            }
            continue;
        }
        for (const auto& s : track.samples) {
            if (s.offset > c.offset && s.offset >= target && s.offset < end) {
                return s.offset;
            }
        }
    }
    return t.mdatEnd;
}

} // namespace

std::uint64_t tailCutPoint(const Truth& t, const ZeroTail& tail) {
    const auto target = mdatAt(t, tail.where);
    switch (tail.at) {
    case TailCut::MidSample:
        return midVideoSample(t, target);
    case TailCut::BetweenSamples:
        return betweenSamples(t, target);
    case TailCut::AfterData:
        for (const auto& c : t.chunks) {
            if (c.offset >= target && t.tracks[c.track].handler == "meta") {
                return c.offset + c.size;
            }
        }
        break;
    case TailCut::AfterSilence:
    case TailCut::BeforeSound:
        if (const auto* c = nearestChunk(t, target, "soun")) {
            return c->offset + (tail.at == TailCut::BeforeSound ? 0 : c->size);
        }
        break;
    }
    return target;
}

bool silenceBefore(const Truth& t, std::uint64_t cut, std::string& bytes) {
    for (std::size_t i = 0; i < t.tracks.size(); ++i) {
        const std::uint64_t fb = t.tracks[i].frameBytes;
        std::vector<const camlayout::TruthChunk*> before;
        for (const auto& c : t.chunks) {
            if (c.track == i && c.offset + c.size <= cut) {
                before.push_back(&c);
            }
        }
        if (fb == 0 || before.size() < 2) {
            continue;
        }
        const auto& prev = *before[before.size() - 2];
        const std::uint64_t from = prev.offset + prev.size / fb / 2 * fb;
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                  bytes.begin() + static_cast<std::ptrdiff_t>(prev.offset + prev.size), '\0');
        const auto& last = *before.back();
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(last.offset),
                  bytes.begin() + static_cast<std::ptrdiff_t>(last.offset + last.size), '\0');
        return true;
    }
    return false;
}

void appendZeroTail(const Truth& t, const ZeroTail& tail, std::uint64_t cut, std::string& bytes) {
    const auto planned = static_cast<std::uint64_t>(static_cast<double>(t.fileSize) * tail.planned);
    bytes.resize(std::min<std::uint64_t>(cut, bytes.size()));
    bytes.resize(std::max<std::uint64_t>(planned, bytes.size()), '\0');
    if (!tail.sized) {
        return;
    }
    const std::uint64_t size = bytes.size() - t.mdatOffset;
    const bool large = bytes.compare(t.mdatOffset, 4, std::string("\0\0\0\1", 4)) == 0;
    putBe(bytes, large ? t.mdatOffset + 8 : t.mdatOffset, size, large ? 8 : 4);
}

std::string sampleInTail(const std::vector<TableTrack>& tables, const std::string& result,
                         std::uint64_t mediaBegin, std::uint64_t cut) {
    const auto boxes = topBoxes(result);
    const auto mdat =
        std::find_if(boxes.begin(), boxes.end(), [](const TopBox& b) { return b.type == "mdat"; });
    if (mdat == boxes.end()) {
        return "no mdat box in the result";
    }
    const std::uint64_t payload = mdat->offset + mdat->header;
    for (const auto& track : tables) {
        for (std::size_t i = 0; i < track.samples.size(); ++i) {
            const auto& s = track.samples[i];
            const std::uint64_t end = s.offset + s.size - payload + mediaBegin;
            if (s.offset < payload || end > cut) {
                return "track " + std::to_string(track.id) + " sample " + std::to_string(i + 1) +
                       " ends at byte " + std::to_string(end) + ", past the cut at " +
                       std::to_string(cut);
            }
        }
    }
    return "";
}
