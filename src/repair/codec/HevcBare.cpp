#include "codec/HevcBare.h"

#include "codec/ConfigRecord.h"
#include "codec/HevcDefaults.h"
#include "codec/HevcInfer.h"

#include <algorithm>

namespace repair {
namespace {

constexpr int kLengthSizes[] = {4, 2, 1};
// A wrong preset's tools often decode a dozen pictures without an error, seldom five
// dozen; damage among them is passed by the first dozen alone.
constexpr std::size_t kPictures = 60, kFewPictures = 12;
constexpr int kMaxPrefixNals = 4; // delimiter, SEI before a picture's first slice
constexpr std::size_t kMaxSei = 64u << 10;
constexpr std::size_t kMinKeyframe = 16;
constexpr std::size_t kKeySliceBytes = 512;

enum class Kind { None, Prefix, Suffix, Slice };

struct Nal {
    Kind kind = Kind::None;
    bool idr = false, irap = false, first = false; // first: first_slice_segment_in_pic_flag
};

// What a NAL unit's header says: one layer, a valid temporal id, no forbidden bit.
Nal readNal(const std::uint8_t* nal, std::size_t n) {
    if (n < 3 || (nal[0] & 0x81) != 0 || (nal[1] & 0xf8) != 0 || (nal[1] & 7) == 0) {
        return {};
    }
    const int type = nal[0] >> 1;
    if (type <= 9 || (type >= 16 && type <= 21)) {
        return nal[n - 1] == 0
                   ? Nal{}
                   : Nal{Kind::Slice, type == 19 || type == 20, type >= 16, (nal[2] & 0x80) != 0};
    }
    if (type == 35 || type == 39) {
        return {type == 35 && n != 3 ? Kind::None : Kind::Prefix, false, false, false};
    }
    return type == 40 && n <= kMaxSei ? Nal{Kind::Suffix, false, false, false} : Nal{};
}

class Finder {
public:
    Finder(const std::uint8_t* data, std::size_t size, int ls)
        : data_(data), size_(size), ls_(static_cast<std::size_t>(ls)) {}

    std::size_t nalAt(std::size_t pos) const {
        if (size_ - std::min(pos, size_) < ls_ + 3) {
            return 0;
        }
        std::size_t n = 0;
        for (std::size_t i = 0; i < ls_; ++i) {
            n = (n << 8) | data_[pos + i];
        }
        return n >= 3 && n <= size_ - pos - ls_ ? n : 0;
    }

    // The end of a picture starting at pos (prefix NAL units included), 0 when none does.
    // key: only an IDR picture. The key slice's start goes to `slice`.
    std::size_t pictureAt(std::size_t pos, bool key, std::vector<std::uint8_t>* slice) {
        std::size_t q = pos;
        for (int prefix = 0; prefix <= kMaxPrefixNals; ++prefix) {
            const std::size_t n = nalAt(q);
            const std::uint8_t* nal = data_ + q + ls_;
            const Nal h = n ? readNal(nal, n) : Nal{};
            if (h.kind == Kind::Slice) {
                // Open groups of pictures start with CRA pictures, as large as an IDR one.
                const bool fits = key ? h.idr && n >= kMinKeyframe : h.irap || n <= largestKey_;
                if (!h.first || !fits) {
                    return 0;
                }
                if (key) {
                    largestKey_ = n;
                    if (slice) {
                        slice->assign(nal, nal + std::min(n, kKeySliceBytes));
                    }
                }
                return restOfPicture(q + ls_ + n);
            }
            if (h.kind != Kind::Prefix) {
                return 0;
            }
            q += ls_ + n;
        }
        return 0;
    }

    std::size_t lengthSize() const { return ls_; }

private:
    // Further slice segments of the picture and suffix SEI follow directly.
    std::size_t restOfPicture(std::size_t q) const {
        while (const std::size_t n = nalAt(q)) {
            const Nal h = readNal(data_ + q + ls_, n);
            if (!(h.kind == Kind::Suffix || (h.kind == Kind::Slice && !h.first))) {
                break;
            }
            q += ls_ + n;
        }
        return q;
    }

    const std::uint8_t* data_;
    std::size_t size_, ls_;
    std::size_t largestKey_ = 0;
};

BarePictures picturesFrom(const std::uint8_t* data, std::size_t size, std::size_t pos, Finder& f) {
    BarePictures out;
    out.lengthSize = static_cast<int>(f.lengthSize());
    while (pos < size && out.pictures.size() < kPictures) {
        const std::size_t end = f.pictureAt(pos, false, nullptr);
        if (end == 0) {
            ++pos; // another track's bytes, or damage
            continue;
        }
        out.pictures.emplace_back(data + pos, data + end);
        pos = end;
    }
    return out;
}

using Pictures = std::vector<std::vector<std::uint8_t>>;

// The sets of a preset's tools at a bit depth under which the pictures decode.
std::optional<HevcBareParams> setsOf(const X265Tools& tools, int depth, const Pictures& pictures,
                                     int lengthSize,
                                     std::chrono::steady_clock::time_point deadline) {
    const auto start = x265Config(tools, depth, lengthSize);
    const auto found =
        start.empty() ? std::nullopt : inferHevcParams(start, pictures, deadline, true);
    const StreamParams got = found ? paramsOf(VideoCodec::Hevc, found->config) : StreamParams{};
    if (got.empty() || got.vps.empty()) {
        return std::nullopt;
    }
    return HevcBareParams{got.vps.front(), got.sps.front(), got.pps.front(), found->what, ""};
}

// The sets of the first preset's tools, then bit depth, under which the pictures decode.
// Only SAO's offsets differ in syntax between 8 and 10 bits; the rest scales with the bit
// depth (dequantisation, prediction, deblocking), so that without SAO a stream of either
// depth decodes at the other without an error to pictures that differ by rounding alone:
// their samples cannot tell the two apart. 8 bits, as most are, are then assumed, unsure.
// With SAO a 10-bit stream's larger offsets fail at 8 bits.
std::optional<HevcBareParams> withTools(const Pictures& pictures, int lengthSize,
                                        std::chrono::steady_clock::time_point deadline) {
    for (const X265Tools& tools : x265Tools()) {
        for (const int depth : {8, 10}) {
            if (std::chrono::steady_clock::now() > deadline) {
                return std::nullopt;
            }
            auto found = setsOf(tools, depth, pictures, lengthSize, deadline);
            if (!found) {
                continue;
            }
            std::string bits = std::to_string(depth) + "-bit";
            if (depth == 8 && !tools.sao &&
                (setsOf(tools, 10, pictures, lengthSize, deadline) ||
                 std::chrono::steady_clock::now() > deadline)) {
                found->unsure = "the bit depth could not be told (8 bits assumed; its pictures "
                                "decode alike at 10 bits: a reference recording tells)";
                bits += " assumed (10-bit decodes alike)";
            }
            found->what = std::string("x265 ") + tools.presets + "'s coding tools, " + bits + ", " +
                          found->what;
            return found;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<BarePictures> findHevcBarePictures(const std::uint8_t* data, std::size_t size) {
    // The longest length size first: a shorter one finds more keyframes only in looks.
    for (const int ls : kLengthSizes) {
        for (std::size_t i = 0; i < size; ++i) {
            Finder f(data, size, ls);
            std::vector<std::uint8_t> slice;
            const std::size_t end = f.pictureAt(i, true, &slice);
            if (end == 0) {
                continue;
            }
            BarePictures out = picturesFrom(data, size, i, f);
            out.keySlice = std::move(slice);
            return out;
        }
    }
    return std::nullopt;
}

std::optional<HevcBareParams> inferHevcBareParams(const BarePictures& p,
                                                  std::chrono::steady_clock::time_point deadline) {
    auto found = withTools(p.pictures, p.lengthSize, deadline);
    if (!found && p.pictures.size() > kFewPictures) {
        const Pictures few(p.pictures.begin(), p.pictures.begin() + kFewPictures);
        found = withTools(few, p.lengthSize, deadline);
    }
    return found;
}

} // namespace repair
