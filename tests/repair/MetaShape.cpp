#include "MetaShape.h"

namespace {

std::uint64_t be(const std::vector<std::uint8_t>& b, std::size_t at, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    }
    return v;
}

// KLV items filling [at, end) exactly; nested items (type 0) are walked too.
bool klvRun(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t end, int depth) {
    if (depth > 4) {
        return false;
    }
    while (at < end) {
        if (end - at < 8) {
            return false;
        }
        const std::size_t payload = b[at + 5] * be(b, at + 6, 2);
        const std::size_t padded = (payload + 3) / 4 * 4;
        if (padded > end - at - 8) {
            return false;
        }
        if (b[at + 4] == 0 && !klvRun(b, at + 8, at + 8 + payload, depth + 1)) {
            return false;
        }
        at += 8 + padded;
    }
    return true;
}

bool varint(const std::vector<std::uint8_t>& b, std::size_t& at, std::size_t end,
            std::uint64_t& v) {
    v = 0;
    for (int shift = 0; at < end && shift < 64; shift += 7) {
        const std::uint8_t c = b[at++];
        v |= std::uint64_t{c & 0x7Fu} << shift;
        if (!(c & 0x80)) {
            return true;
        }
    }
    return false;
}

bool protobuf(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t end, int depth) {
    while (at < end) {
        std::uint64_t key = 0;
        std::uint64_t v = 0;
        if (!varint(b, at, end, key) || (key >> 3) == 0 || !varint(b, at, end, v)) {
            return false;
        }
        if ((key & 7) == 2) {
            if (v > end - at || depth > 4 || !protobuf(b, at, at + v, depth + 1)) {
                return false;
            }
            at += v;
        } else if ((key & 7) != 0) {
            return false;
        }
    }
    return true;
}

bool mebxItems(const std::vector<std::uint8_t>& b, std::uint32_t keys) {
    std::size_t at = 0;
    while (at < b.size()) {
        if (b.size() - at < 8) {
            return false;
        }
        const std::uint64_t size = be(b, at, 4);
        const std::uint64_t key = be(b, at + 4, 4);
        if (size < 8 || size > b.size() - at || key < 1 || key > keys) {
            return false;
        }
        at += size;
    }
    return !b.empty();
}

} // namespace

bool wellFormedSample(const std::string& fourcc, const std::vector<std::uint8_t>& sample,
                      std::uint32_t keys) {
    if (fourcc == "gpmd") {
        return sample.size() >= 8 && std::string(sample.begin(), sample.begin() + 4) == "DEVC" &&
               klvRun(sample, 0, sample.size(), 0);
    }
    if (fourcc == "mebx") {
        return mebxItems(sample, keys);
    }
    if (fourcc == "djmd") {
        return !sample.empty() && protobuf(sample, 0, sample.size(), 0);
    }
    return !sample.empty();
}
