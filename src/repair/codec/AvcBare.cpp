#include "codec/AvcBare.h"

#include "codec/AvcInfer.h"
#include "codec/AvcSyntax.h"
#include "codec/BitReader.h"
#include "codec/ConfigRecord.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace repair {
namespace {

constexpr int kLengthSizes[] = {4, 2, 1};
// Pictures judged: enough for frame numbers and picture order to show.
constexpr std::size_t kPictures = 12;
constexpr int kMaxPrefixNals = 4; // delimiter, SEI, filler before a picture's first slice
constexpr std::size_t kMaxSei = 64u << 10;
constexpr std::size_t kMinKeyframe = 16;
constexpr std::uint32_t kMaxPpsId = 255;
constexpr std::size_t kKeySliceBytes = 512;

struct SliceStart {
    bool idr = false;
    std::uint32_t firstMb = 0, ppsId = 0;
};

// What a slice's first fields say; they read without parameter sets.
std::optional<SliceStart> sliceStart(const std::uint8_t* nal, std::size_t n) {
    const int type = nal[0] & 0x1f, refIdc = (nal[0] >> 5) & 3;
    if ((nal[0] & 0x80) != 0 || (type != 1 && type != 5) || (type == 5 && refIdc == 0) ||
        nal[n - 1] == 0) {
        return std::nullopt;
    }
    const auto rbsp = unescapeRbsp(nal + 1, n - 1, 16);
    BitReader br(rbsp.data(), rbsp.size());
    SliceStart s{type == 5, br.ue(), 0};
    const std::uint32_t sliceType = br.ue();
    s.ppsId = br.ue();
    const bool intra = sliceType % 5 == 2 || sliceType % 5 == 4;
    // An IDR picture's frame_num, 4 bits at least, is 0.
    const bool frameNumZero = !s.idr || br.bits(4) == 0;
    if (br.failed() || sliceType > 9 || (s.idr && (!intra || !frameNumZero)) ||
        s.ppsId > kMaxPpsId) {
        return std::nullopt;
    }
    return s;
}

class Finder {
public:
    Finder(const std::uint8_t* data, std::size_t size, int ls)
        : data_(data), size_(size), ls_(static_cast<std::size_t>(ls)) {}

    // The end of a picture starting at pos (NAL units before its first slice included),
    // 0 when none does. key: only an IDR picture.
    std::size_t pictureAt(std::size_t pos, bool key) const {
        std::size_t q = pos;
        for (int prefix = 0; prefix <= kMaxPrefixNals; ++prefix) {
            const std::size_t n = nalAt(q);
            if (n == 0) {
                return 0;
            }
            const std::uint8_t* nal = data_ + q + ls_;
            const int type = nal[0] & 0x1f;
            if (type == 1 || type == 5) {
                const auto s = sliceStart(nal, n);
                if (!s || s->firstMb != 0 || !fits(*s, n, key)) {
                    return 0;
                }
                return restOfPicture(q + ls_ + n);
            }
            const bool ok = (nal[0] & 0x80) == 0 &&
                            ((type == 9 && n == 2) || type == 12 || (type == 6 && n <= kMaxSei));
            if (!ok) {
                return 0;
            }
            q += ls_ + n;
        }
        return 0;
    }

    void learn(const std::uint8_t* keyNal, std::size_t n) {
        if (const auto s = sliceStart(keyNal, n)) {
            ppsId_ = s->ppsId;
        }
        largestKey_ = std::max(largestKey_, n);
    }
    std::size_t nalAt(std::size_t pos) const {
        if (size_ - std::min(pos, size_) < ls_ + 2) {
            return 0;
        }
        std::size_t n = 0;
        for (std::size_t i = 0; i < ls_; ++i) {
            n = (n << 8) | data_[pos + i];
        }
        return n >= 2 && n <= size_ - pos - ls_ ? n : 0;
    }
    std::size_t lengthSize() const { return ls_; }

private:
    // A picture that is not a keyframe yet larger than every keyframe so far is taken for
    // another track's bytes that only look like one.
    bool fits(const SliceStart& s, std::size_t n, bool key) const {
        if (key) {
            return s.idr && n >= kMinKeyframe;
        }
        return s.ppsId == ppsId_ && (s.idr || n <= largestKey_);
    }

    // Further slices of the picture follow directly.
    std::size_t restOfPicture(std::size_t q) const {
        while (const std::size_t n = nalAt(q)) {
            const auto s = sliceStart(data_ + q + ls_, n);
            if (!s || s->firstMb == 0 || s->ppsId != ppsId_) {
                break;
            }
            q += ls_ + n;
        }
        return q;
    }

    const std::uint8_t* data_;
    std::size_t size_, ls_;
    std::uint32_t ppsId_ = 0;
    std::size_t largestKey_ = 0;
};

// The key picture's slice: its last NAL unit's first, as prefix units come before it.
std::pair<const std::uint8_t*, std::size_t> keySlice(const Finder& f, const std::uint8_t* data,
                                                     std::size_t pos, std::size_t end) {
    for (std::size_t q = pos; q < end;) {
        const std::size_t n = f.nalAt(q);
        const int type = data[q + f.lengthSize()] & 0x1f;
        if (type == 5) {
            return {data + q + f.lengthSize(), n};
        }
        q += f.lengthSize() + n;
    }
    return {nullptr, 0};
}

std::optional<BarePictures> picturesFrom(const std::uint8_t* data, std::size_t size,
                                         std::size_t key, Finder& f) {
    BarePictures out;
    out.lengthSize = static_cast<int>(f.lengthSize());
    std::size_t pos = key;
    while (pos < size && out.pictures.size() < kPictures) {
        const std::size_t end = f.pictureAt(pos, false);
        if (end == 0) {
            ++pos; // another track's bytes, or damage
            continue;
        }
        out.pictures.emplace_back(data + pos, data + end);
        pos = end;
    }
    return out;
}

// x264 writes its settings as text into an SEI of the first picture; its initial QP is
// the CRF (truncated) or the constant QP, else 26. No decoding of CAVLC pictures shows it.
struct X264Hints {
    std::optional<int> initQp, chromaQpOffset;
};

std::optional<double> setting(const std::string& text, const std::string& name) {
    const auto at = text.find(" " + name + "=");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const char* from = text.c_str() + at + name.size() + 2;
    char* end = nullptr;
    const double v = std::strtod(from, &end);
    return end == from || v < -64 || v > 64 ? std::nullopt : std::optional(v);
}

X264Hints x264Hints(const std::vector<std::uint8_t>& picture) {
    constexpr std::size_t kMaxText = 4096;
    const std::string tag = "x264 - core ";
    const auto at = std::search(picture.begin(), picture.end(), tag.begin(), tag.end());
    if (at == picture.end()) {
        return {};
    }
    const auto left = static_cast<std::size_t>(picture.end() - at);
    std::string text(at, at + static_cast<std::ptrdiff_t>(std::min(left, kMaxText)));
    text = text.substr(0, text.find('\0'));
    X264Hints h;
    if (const auto c = setting(text, "chroma_qp_offset")) {
        h.chromaQpOffset = static_cast<int>(*c);
    }
    const auto crf = setting(text, "crf"), qp = setting(text, "qp");
    if (text.find(" rc=crf ") != std::string::npos && crf) {
        h.initQp = static_cast<int>(*crf);
    } else if (text.find(" rc=cqp ") != std::string::npos && qp) {
        h.initQp = static_cast<int>(*qp);
    } else if (text.find(" rc=") != std::string::npos) {
        h.initQp = 26;
    }
    return h;
}

} // namespace

std::optional<BarePictures> findBarePictures(const std::uint8_t* data, std::size_t size) {
    // The longest length size first: a shorter one finds more keyframes only in looks.
    for (const int ls : kLengthSizes) {
        for (std::size_t i = 0; i < size; ++i) {
            Finder f(data, size, ls);
            const std::size_t end = f.pictureAt(i, true);
            if (end == 0) {
                continue;
            }
            const auto [nal, n] = keySlice(f, data, i, end);
            if (nal == nullptr) {
                continue;
            }
            f.learn(nal, n);
            auto out = picturesFrom(data, size, i, f);
            out->keySlice.assign(nal, nal + std::min(n, kKeySliceBytes));
            return out;
        }
    }
    return std::nullopt;
}

std::optional<BareParams> inferBareParams(const BarePictures& p,
                                          std::chrono::steady_clock::time_point deadline) {
    // Where the search starts: x264's defaults (CRF 23, chroma QP offset -2 with its psy
    // tuning), or the settings it wrote, in a Baseline profile, which the search raises
    // to the tools the slices use.
    AvcSpsFields sps;
    sps.profile = 66;
    sps.constraints = 0xc0;
    sps.level = 30;
    sps.log2MaxFrameNum = 4;
    sps.log2MaxPocLsb = 6;
    sps.maxRefFrames = 3;
    sps.widthMbs = 80;
    sps.heightUnits = 45;
    AvcPpsFields pps;
    pps.cabac = true;
    pps.refIdxL0 = 2;
    pps.weightedPred = true;
    pps.weightedBipred = 2;
    const X264Hints hints = x264Hints(p.pictures.front());
    pps.initQp = hints.initQp.value_or(23) - 26;
    pps.chromaQpOffset = pps.secondChromaQpOffset = hints.chromaQpOffset.value_or(-2);
    StreamParams start;
    start.sps = {writeAvcSps(sps)};
    start.pps = {writeAvcPps(pps)};
    const auto config = configRecord(VideoCodec::H264, start, p.lengthSize, {});
    if (!config) {
        return std::nullopt;
    }
    const auto found = inferAvcParams(*config, p.pictures, deadline);
    if (!found) {
        return std::nullopt;
    }
    const StreamParams got = paramsOf(VideoCodec::H264, found->config);
    if (got.empty()) {
        return std::nullopt;
    }
    const auto read = readAvcPps(got.pps.front().data(), got.pps.front().size());
    std::string unsure;
    if (read && !read->cabac && !hints.initQp) {
        unsure = "initial QP " + std::to_string(26 + read->initQp) + " assumed";
    }
    return BareParams{got.sps.front(), got.pps.front(), unsure};
}

} // namespace repair
