#include "codec/AvcSearch.h"

#include "codec/BitReader.h"

#include <algorithm>
#include <cstdlib>

namespace repair {
namespace {

// Header fits handed on to decoding; more would only be tried past any sensible time.
constexpr std::size_t kMaxHeaderFits = 24;

struct Size {
    std::uint32_t width, height;
};
// The picture sizes cameras record in, after the reference's own.
constexpr Size kSizes[] = {{320, 240},  {640, 360},   {640, 480},
                           {1280, 720}, {1920, 1080}, {3840, 2160}};

// first, then the others not equal to it.
template <typename T> std::vector<T> nearestFirst(T first, const std::vector<T>& others) {
    std::vector<T> out = {first};
    for (const T& o : others) {
        if (std::find(out.begin(), out.end(), o) == out.end()) {
            out.push_back(o);
        }
    }
    return out;
}

std::vector<int> range(int from, int to) {
    std::vector<int> out;
    for (int i = from; i <= to; ++i) {
        out.push_back(i);
    }
    return out;
}

void setSize(AvcSpsFields& s, Size z) {
    const std::uint32_t unit = s.frameMbsOnly ? 16 : 32;
    s.widthMbs = (z.width + 15) / 16;
    s.heightUnits = (z.height + unit - 1) / unit;
    // Crop units of 4:2:0 are two lines (four for field pictures) and two columns.
    s.crop[0] = s.crop[2] = 0;
    s.crop[1] = (s.widthMbs * 16 - z.width) / 2;
    s.crop[3] = (s.heightUnits * unit - z.height) / (s.frameMbsOnly ? 2 : 4);
}

Size sizeOf(const AvcSpsFields& s) {
    const std::uint32_t unitY = s.frameMbsOnly ? 2 : 4;
    return {s.widthMbs * 16 - 2 * (s.crop[0] + s.crop[1]),
            s.heightUnits * (s.frameMbsOnly ? 16 : 32) - unitY * (s.crop[2] + s.crop[3])};
}

// The lowest level whose frame size in macroblocks the picture fits.
std::uint32_t levelFor(const AvcSpsFields& s) {
    const std::uint32_t mbs = s.widthMbs * s.heightUnits * (s.frameMbsOnly ? 1 : 2);
    return mbs <= 1620 ? 30 : mbs <= 3600 ? 31 : mbs <= 8192 ? 40 : mbs <= 22080 ? 50 : 51;
}

// A profile that allows the tools in use, the reference's when it does.
void settleProfile(AvcCandidate& c, const AvcCandidate& ref, bool bSlices) {
    const bool high = avcHighProfile(ref.sps.profile);
    if (!bSlices) {
        c.pps.weightedBipred = 0; // no B pictures show it
    }
    const bool main = c.pps.cabac || bSlices || c.pps.weightedPred || c.pps.weightedBipred != 0;
    if (c.pps.transform8x8) {
        c.sps.profile = high ? ref.sps.profile : 100;
    } else if (main) {
        c.sps.profile = high || ref.sps.profile == 77 ? ref.sps.profile : 77;
    } else {
        c.sps.profile = 66;
    }
    if (c.sps.profile != ref.sps.profile) {
        c.sps.constraints = c.sps.profile == 66 ? 0xc0 : 0; // constrained baseline
        c.sps.vuiBits.clear(); // its reordering limits were the reference's profile's
        c.sps.reorderVui = bSlices;
        c.sps.chromaFormat = 1;
        c.sps.bitDepthLuma = c.sps.bitDepthChroma = 0;
        c.sps.scalingBits.clear();
    }
    // Without the High fields the second chroma QP offset is the first.
    if (!ref.pps.more) {
        c.pps.secondChromaQpOffset = c.pps.chromaQpOffset;
    }
    c.pps.more = avcHighProfile(c.sps.profile) && (c.pps.more || c.pps.transform8x8);
    c.sps.level = std::max(ref.sps.level, levelFor(c.sps));
}

std::string profileName(std::uint32_t p) {
    return p == 66    ? "Baseline"
           : p == 77  ? "Main"
           : p == 100 ? "High"
                      : "profile " + std::to_string(p);
}

} // namespace

AvcSearch::AvcSearch(AvcCandidate ref, std::vector<AvcSliceData> slices)
    : ref_(std::move(ref)), slices_(std::move(slices)) {
    for (const auto& s : slices_) {
        // slice_type comes second, after first_mb_in_slice: readable under any parameters.
        BitReader br(s.rbsp.data(), s.rbsp.size());
        br.ue();
        bSlices_ = bSlices_ || br.ue() % 5 == 1;
    }
    findHeaderFits();
}

// Every combination of the header fields, fewest changes from the reference first.
void AvcSearch::findHeaderFits() {
    struct Tried {
        int changes;
        AvcCandidate c;
    };
    std::vector<Tried> all;
    const AvcSpsFields& rs = ref_.sps;
    const AvcPpsFields& rp = ref_.pps;
    // Without B pictures their weighting shows nowhere. Implicit weighting (2) reads and
    // decodes like none (0), only the pictures differ: a Baseline reference, which has no
    // B pictures to say, gives way to the common choice of encoders that make them.
    const std::uint32_t bipred = rs.profile == 66 ? 2 : rp.weightedBipred;
    const auto bipreds = bSlices_ ? nearestFirst(bipred, {0u, 2u, 1u})
                                  : std::vector<std::uint32_t>{rp.weightedBipred};
    for (int frameNum : nearestFirst(rs.log2MaxFrameNum, range(4, 16))) {
        std::vector<std::pair<std::uint32_t, int>> orders = {{rs.pocType, rs.log2MaxPocLsb},
                                                             {2, 4}};
        for (int lsb : nearestFirst(frameNum + 1, range(4, 16))) {
            orders.emplace_back(0, lsb);
        }
        for (std::size_t o = 0; o < orders.size(); ++o) {
            if (o > 0 && orders[o] == orders[0]) {
                continue;
            }
            for (int bits = 0; bits < 8; ++bits) {
                for (std::uint32_t weighting : bipreds) {
                    for (std::uint32_t refs :
                         nearestFirst(rp.refIdxL0, {0u, 1u, 2u, 3u, 4u, 15u})) {
                        AvcCandidate c = ref_;
                        c.sps.log2MaxFrameNum = frameNum;
                        c.sps.pocType = orders[o].first;
                        c.sps.log2MaxPocLsb = orders[o].second;
                        c.pps.cabac = rp.cabac != ((bits & 1) != 0);
                        c.pps.deblockingControl = rp.deblockingControl != ((bits & 2) != 0);
                        c.pps.weightedPred = rp.weightedPred != ((bits & 4) != 0);
                        c.pps.weightedBipred = weighting;
                        c.pps.refIdxL0 = refs;
                        const int changes = (frameNum != rs.log2MaxFrameNum) + (o > 0) +
                                            __builtin_popcount(static_cast<unsigned>(bits)) +
                                            (weighting != bipreds.front()) + (refs != rp.refIdxL0);
                        all.push_back({changes, std::move(c)});
                    }
                }
            }
        }
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const Tried& a, const Tried& b) { return a.changes < b.changes; });
    // With CABAC the ones before the slice data make a fit all but certain; without, the
    // header's end shows nowhere and more combinations read: those come after.
    std::size_t counts[2] = {0, 0};
    for (auto& t : all) {
        std::size_t& n = counts[t.c.pps.cabac ? 1 : 0];
        if (n < kMaxHeaderFits && slicesFollowOn(slices_, t.c.sps, t.c.pps, t.c.qpDelta)) {
            ++n;
            fits_.push_back(std::move(t.c));
        }
    }
    std::stable_partition(fits_.begin(), fits_.end(),
                          [](const AvcCandidate& c) { return c.pps.cabac; });
}

std::vector<AvcCandidate> AvcSearch::decodeVariants(const AvcCandidate& header) const {
    struct Tried {
        int rank;
        AvcCandidate c;
    };
    std::vector<Tried> all;
    const Size own = sizeOf(ref_.sps);
    std::vector<Size> sizes = {own};
    for (const Size& z : kSizes) {
        if (z.width != own.width || z.height != own.height) {
            sizes.push_back(z);
        }
    }
    // Every slice's QP, initial QP plus its delta, lies in 0..51.
    const int lo = -26 - header.qpDelta.first, hi = 25 - header.qpDelta.second;
    // The reference's, then the one rate control by bitrate writes (26), then the nearest.
    const int refQp = ref_.pps.initQp;
    const auto rank = [refQp](int q) {
        return q == refQp ? 0 : q == 0 ? 1 : 2 + std::abs(q - refQp);
    };
    std::vector<int> qps;
    for (int q = std::max(lo, -26); q <= std::min(hi, 25); ++q) {
        qps.push_back(q);
    }
    std::stable_sort(qps.begin(), qps.end(), [&rank](int a, int b) { return rank(a) < rank(b); });
    // Without CABAC the QP changes no bit's meaning: decoding cannot tell one from another.
    if (!header.pps.cabac && qps.size() > 1) {
        qps.resize(1);
    }
    for (std::size_t z = 0; z < sizes.size(); ++z) {
        for (int t8 = 0; t8 < 2; ++t8) {
            for (std::size_t q = 0; q < qps.size(); ++q) {
                AvcCandidate c = header;
                setSize(c.sps, sizes[z]);
                c.pps.transform8x8 = ref_.pps.transform8x8 != (t8 == 1);
                c.pps.initQp = qps[q];
                settleProfile(c, ref_, bSlices_);
                all.push_back(
                    {static_cast<int>(z * 2 + static_cast<std::size_t>(t8) + q), std::move(c)});
            }
        }
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const Tried& a, const Tried& b) { return a.rank < b.rank; });
    std::vector<AvcCandidate> out;
    for (auto& t : all) {
        out.push_back(std::move(t.c));
    }
    return out;
}

std::vector<AvcCandidate> AvcSearch::streamVariants(const AvcCandidate& c) const {
    std::vector<AvcCandidate> out;
    for (std::uint32_t refs : nearestFirst(c.sps.maxRefFrames, {4u, 16u, 1u, 2u, 3u})) {
        out.push_back(c);
        out.back().sps.maxRefFrames = refs;
    }
    return out;
}

std::string AvcSearch::changes(const AvcCandidate& c) const {
    const AvcSpsFields &s = c.sps, &rs = ref_.sps;
    const AvcPpsFields &p = c.pps, &rp = ref_.pps;
    std::vector<std::string> parts;
    const Size z = sizeOf(s), rz = sizeOf(rs);
    if (z.width != rz.width || z.height != rz.height) {
        parts.push_back(std::to_string(z.width) + "x" + std::to_string(z.height));
    }
    if (s.profile != rs.profile) {
        parts.push_back(profileName(s.profile));
    }
    if (p.cabac != rp.cabac) {
        parts.push_back(p.cabac ? "CABAC" : "CAVLC");
    }
    if (p.transform8x8 != rp.transform8x8) {
        parts.push_back(std::string("8x8 transform ") + (p.transform8x8 ? "on" : "off"));
    }
    if (!p.cabac) {
        // Nothing in CAVLC slices reads differently under another initial QP: only the
        // picture changes. It is the reference's, or the nearest the slices allow.
        parts.push_back("initial QP " + std::to_string(26 + p.initQp) +
                        " unconfirmed (CAVLC pictures do not show it)");
    } else if (p.initQp != rp.initQp) {
        parts.push_back("initial QP " + std::to_string(26 + p.initQp));
    }
    if (s.log2MaxFrameNum != rs.log2MaxFrameNum) {
        parts.push_back("frame numbers of " + std::to_string(s.log2MaxFrameNum) + " bits");
    }
    if (s.pocType != rs.pocType || (s.pocType == 0 && s.log2MaxPocLsb != rs.log2MaxPocLsb)) {
        parts.push_back("picture order type " + std::to_string(s.pocType) +
                        (s.pocType == 0 ? " of " + std::to_string(s.log2MaxPocLsb) + " bits" : ""));
    }
    if (p.weightedPred != rp.weightedPred || p.weightedBipred != rp.weightedBipred) {
        parts.push_back("weighted prediction " + std::to_string(p.weightedPred) + "/" +
                        std::to_string(p.weightedBipred));
    }
    if (p.deblockingControl != rp.deblockingControl) {
        parts.push_back(std::string("deblocking control ") + (p.deblockingControl ? "on" : "off"));
    }
    if (p.refIdxL0 != rp.refIdxL0 || s.maxRefFrames != rs.maxRefFrames) {
        parts.push_back(std::to_string(p.refIdxL0 + 1) + " of " + std::to_string(s.maxRefFrames) +
                        " reference frames");
    }
    std::string out;
    for (const auto& part : parts) {
        out += (out.empty() ? "" : ", ") + part;
    }
    return out.empty() ? "the reference's fields" : out;
}

} // namespace repair
