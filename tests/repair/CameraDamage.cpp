#include "CameraDamage.h"

#include "BoxBuilder.h"
#include "CameraRun.h"
#include "MediaFixture.h"
#include "MiniMoov.h"

#include <algorithm>

namespace {

using camlayout::Truth;

const DamageCase kCases[] = {
    {"no head", Damage::NoHead, 0.0, 3000},
    {"head zeroed", Damage::ZeroHead, 0.0, 4096},
    {"head garbled", Damage::NoiseHead, 0.0, 2500},
    {"zeros inside", Damage::ZerosInside, 0.45, 4096},
    {"noise inside", Damage::NoiseInside, 0.6, 20000},
    {"two mdat boxes", Damage::TwoMdats, 0.5, 0},
    {"mdat size too small", Damage::SmallMdat, 0.0, 0},
    {"zeros in a video chunk", Damage::ZerosInChunk, 0.55, 0, "vide", 0.6},
    {"noise in a sound chunk", Damage::NoiseInChunk, 0.35, 0, "soun", 0.5},
    {"zeros across tracks", Damage::ZerosToNextOf, 0.7, 0, "vide"},
    {"sound gone from the middle", Damage::TrackGone, 0.5, 0, "soun"},
    {"sound gone", Damage::TrackGone, 0.0, 0, "soun"},
    {"first picture of a video chunk zeroed", Damage::FirstOfChunk, 0.7, 0, "vide"},
    {.name = "tail, cut mid-sample",
     .kind = Damage::CutOnly,
     .tail = {1.5, 0.55, TailCut::MidSample, false}},
    {.name = "tail x4, cut in a chunk",
     .kind = Damage::CutOnly,
     .tail = {4, 0.8, TailCut::BetweenSamples, true}},
    {.name = "tail after silence",
     .kind = Damage::CutOnly,
     .tail = {2, 0.65, TailCut::AfterSilence, false}},
    {.name = "tail before sound",
     .kind = Damage::CutOnly,
     .tail = {3, 0.35, TailCut::BeforeSound, false}},
    {.name = "tail after metadata",
     .kind = Damage::CutOnly,
     .tail = {2, 0.6, TailCut::AfterData, false}},
    {.name = "zeros inside, tail",
     .kind = Damage::ZerosInside,
     .where = 0.45,
     .size = 4096,
     .tail = {1.5, 0.85, TailCut::MidSample, true}},
};

// The stretch [from, to) that a case damaging chunks overwrites; empty when the kind has no
// such chunk.
std::pair<std::uint64_t, std::uint64_t> chunkStretch(const Truth& t, const DamageCase& d,
                                                     std::uint64_t near) {
    const camlayout::TruthChunk* c = nearestChunk(t, near, d.handler);
    if (!c || c->size < 4) {
        return {0, 0};
    }
    const auto part = static_cast<std::uint64_t>(static_cast<double>(c->size) * d.share);
    if (d.kind != Damage::ZerosToNextOf) {
        const std::uint64_t from = c->offset + (c->size - part) / 2;
        return {from, from + part};
    }
    for (const auto& n : t.chunks) {
        if (n.track == c->track && n.offset > c->offset) {
            return {c->offset + c->size / 2, n.offset + n.size / 2};
        }
    }
    return {0, 0};
}

void noise(std::string& b, std::uint64_t from, std::uint64_t n, bool zeros) {
    std::uint64_t x = 0x9e3779b97f4a7c15ull ^ from;
    for (std::uint64_t i = from; i < from + n && i < b.size(); ++i) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        b[i] = zeros ? '\0' : static_cast<char>(x >> 56);
    }
}

// The broken copy of `original` (its moov is dropped: the cut is at the end of its media)
// and what of the original it still holds.
std::string damageMedia(const Truth& t, std::string b, const DamageCase& d, Kept& kept) {
    if (d.kind == Damage::SmallMdat) {
        // A camera that finished its file but left a wrong mdat size: the moov is there.
        putBe(b, t.mdatOffset, 1000, 4);
        kept.cut = t.mdatEnd;
        return b;
    }
    b.resize(t.mdatEnd);
    kept.cut = t.mdatEnd;
    auto at = mdatAt(t, d.where);
    switch (d.kind) {
    case Damage::CutOnly:
        return b;
    case Damage::NoHead:
        kept.begin = t.mdatData + d.size;
        kept.times = false;
        return b.substr(kept.begin);
    case Damage::ZeroHead:
    case Damage::NoiseHead:
        noise(b, 0, d.size, d.kind == Damage::ZeroHead);
        kept.begin = d.size;
        kept.times = false;
        return b;
    case Damage::ZerosInside:
    case Damage::NoiseInside:
        noise(b, at, d.size, d.kind == Damage::ZerosInside);
        kept.damaged.emplace_back(at, at + d.size);
        return b;
    case Damage::TwoMdats: {
        // mdat | free | mdat: the chunks from the middle on behind a box of their own.
        for (const auto& c : t.chunks) {
            if (c.offset >= at) {
                at = c.offset;
                break;
            }
        }
        camlayout::BoxBuilder g;
        g.box("free", {});
        g.u32(static_cast<std::uint32_t>(b.size() - at + 8));
        g.fourcc("mdat");
        putBe(b, t.mdatOffset, at - t.mdatOffset, 4);
        return b.substr(0, at) + std::string(g.bytes().begin(), g.bytes().end()) + b.substr(at);
    }
    case Damage::ZerosInChunk:
    case Damage::NoiseInChunk:
    case Damage::ZerosToNextOf: {
        const auto [from, to] = chunkStretch(t, d, at);
        noise(b, from, to - from, d.kind != Damage::NoiseInChunk);
        kept.damaged.emplace_back(from, to);
        return b;
    }
    case Damage::FirstOfChunk:
        if (const camlayout::TruthChunk* c = nearestChunk(t, at, d.handler)) {
            for (const auto& first : t.tracks[c->track].samples) {
                if (first.offset == c->offset) {
                    noise(b, first.offset, first.size, true);
                    kept.damaged.emplace_back(first.offset, first.offset + first.size);
                }
            }
        }
        return b;
    case Damage::TrackGone:
        for (const auto& c : t.chunks) {
            if (c.offset >= at && t.tracks[c.track].handler == d.handler) {
                noise(b, c.offset, c.size, true);
                kept.damaged.emplace_back(c.offset, c.offset + c.size);
            }
        }
        return b;
    case Damage::SmallMdat:
        break;
    }
    return b;
}

} // namespace

std::span<const DamageCase> damageCases() {
    return kCases;
}

bool nothingDamaged(const DamageCase& d) {
    return d.kind == Damage::TwoMdats || d.kind == Damage::SmallMdat || d.kind == Damage::CutOnly;
}

bool rawTrack(const Truth& t, const char* handler) {
    return std::any_of(t.tracks.begin(), t.tracks.end(), [&](const camlayout::TruthTrack& k) {
        return k.handler == handler && k.frameBytes > 0;
    });
}

double lostShare(const Truth& t, const DamageCase& d, const Kept& kept,
                 const std::vector<TrackScore>& scores) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> hit = kept.damaged;
    if (d.kind == Damage::ZeroHead || d.kind == Damage::NoiseHead) {
        hit.emplace_back(0, d.size);
    }
    std::uint64_t all = 0, back = 0;
    for (const auto& [from, to] : hit) {
        all += to - from;
        for (const auto& track : t.tracks) {
            for (const auto& x :
                 track.frameBytes ? std::vector<camlayout::TruthSample>{} : track.samples) {
                const auto in = std::min(x.offset + x.size, to) - std::max(x.offset, from);
                all += x.offset < to && x.offset + x.size > from ? x.size - in : 0;
            }
        }
    }
    for (const auto& s : scores) {
        all += s.expectedBytes;
        back += s.recoveredBytes + s.extraBytes;
    }
    return all > back ? static_cast<double>(all - back) / static_cast<double>(all) : 0;
}

std::string damaged(const Truth& t, const std::string& original, const DamageCase& d, Kept& kept) {
    std::string b = damageMedia(t, readFile(original), d, kept);
    if (d.tail.planned > 0) {
        kept.cut = tailCutPoint(t, d.tail);
        appendZeroTail(t, d.tail, kept.cut, b);
    }
    return b;
}
