#include "codec/JpegScan.h"

#include "box/Endian.h"

#include <array>
#include <cstring>
#include <vector>

namespace repair {
namespace {

constexpr std::uint8_t kSoi = 0xD8;
constexpr std::uint8_t kEoi = 0xD9;
constexpr std::uint8_t kSos = 0xDA;
constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::size_t kChunk = 64u << 10;
constexpr int kMaxSegments = 512;
// The mjpg header: four reserved bytes, the tag, then eight 32-bit sizes and offsets.
constexpr std::size_t kMjpgHeader = 40;

bool isSof(std::uint8_t m) {
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}
bool isRst(std::uint8_t m) {
    return m >= 0xD0 && m <= 0xD7;
}

struct Walk {
    const ByteSource& src;
    std::uint64_t limit;
    std::uint64_t stop; // past this it is not an image
    std::vector<std::uint8_t> buf;

    // The next marker after entropy-coded data from `at`: 0xFF followed by neither a stuffed
    // zero nor a restart marker. Returns its position, or limit when the data ends first.
    std::uint64_t entropyEnd(std::uint64_t at) {
        buf.resize(kChunk);
        while (at < limit && at < stop) {
            const std::size_t n = src.read(at, buf.data(), kChunk);
            if (n < 2) {
                return limit;
            }
            const std::uint8_t* p = buf.data();
            for (std::size_t i = 0; i + 1 < n;) {
                const void* ff = std::memchr(p + i, 0xFF, n - 1 - i);
                if (!ff) {
                    break;
                }
                i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - p);
                const std::uint8_t next = p[i + 1];
                if (next != 0 && next != 0xFF && !isRst(next)) {
                    return at + i;
                }
                i += next == 0xFF ? 1 : 2;
            }
            at += n - 1;
        }
        return at < stop ? limit : stop;
    }
};

void readMjpgHeader(const std::uint8_t* seg, std::size_t n, JpegImage& img) {
    if (n >= kMjpgHeader && be32(seg + 4) == 0x6D6A7067) { // 'mjpg'
        img.paddedSize = be32(seg + 12);
        img.nextField = be32(seg + 16);
    }
}

} // namespace

JpegImage scanJpeg(const ByteSource& src, std::uint64_t pos, std::uint64_t limit,
                   std::uint64_t maxBytes, bool headersOnly) {
    JpegImage img;
    std::uint8_t head[2] = {};
    if (src.read(pos, head, 2) != 2 || head[0] != 0xFF || head[1] != kSoi) {
        return img;
    }
    Walk w{src, limit, pos + maxBytes, {}};
    bool frame = false;
    bool scanned = false;
    std::uint64_t at = pos + 2;
    for (int segments = 0; segments < kMaxSegments; ++segments) {
        std::array<std::uint8_t, 4 + kMjpgHeader> m{};
        const std::size_t n = src.read(at, m.data(), m.size());
        const bool ends = at + n >= limit;
        if (n < 2) {
            img.result = ends ? JpegImage::Result::Cut : JpegImage::Result::No;
            return img;
        }
        if (m[0] != 0xFF || m[1] == kSoi || m[1] == 0) {
            return img;
        }
        if (m[1] == 0xFF || m[1] == 0x01 || isRst(m[1])) {
            at += m[1] == 0xFF ? 1 : 2; // fill byte, or a marker without a segment
            continue;
        }
        if (m[1] == kEoi) {
            img.end = at + 2;
            img.result = frame && scanned ? JpegImage::Result::Whole : JpegImage::Result::No;
            return img;
        }
        if (n < 4) {
            img.result = ends ? JpegImage::Result::Cut : JpegImage::Result::No;
            return img;
        }
        const std::uint32_t length = be16(&m[2]);
        if (length < 2) {
            return img;
        }
        if (isSof(m[1])) {
            if (n < 9 || frame) {
                return img;
            }
            img.height = be16(&m[5]);
            img.width = be16(&m[7]);
            frame = img.width > 0;
        } else if (m[1] == kApp1) {
            readMjpgHeader(m.data() + 4, n - 4, img);
        }
        at += 2 + length;
        if (m[1] == kSos) {
            if (!frame) {
                return img;
            }
            scanned = true;
            if (headersOnly) {
                img.result = JpegImage::Result::Whole;
                return img;
            }
            at = w.entropyEnd(at);
        }
        if (at >= w.stop) {
            return img;
        }
        if (at >= limit) {
            img.result = JpegImage::Result::Cut;
            return img;
        }
    }
    return img;
}

MjpegBField readMjpegBField(const ByteSource& src, std::uint64_t pos, std::uint64_t limit) {
    MjpegBField f;
    std::array<std::uint8_t, kMjpgHeader> h{};
    if (src.read(pos, h.data(), h.size()) != h.size() || be32(&h[4]) != 0x6D6A7067) {
        return f;
    }
    const std::uint32_t size = be32(&h[8]);
    const std::uint32_t padded = be32(&h[12]);
    const std::uint32_t sof = be32(&h[28]);
    const std::uint32_t sos = be32(&h[32]);
    const std::uint32_t data = be32(&h[36]);
    if (size < kMjpgHeader || padded < size || sof < kMjpgHeader || sof >= size || sos >= size ||
        data > size) {
        return f;
    }
    // The frame header segment without its marker: length, precision, height, width.
    std::array<std::uint8_t, 7> s{};
    if (pos + sof < limit && src.read(pos + sof, s.data(), s.size()) == s.size()) {
        f.height = be16(&s[3]);
        f.width = be16(&s[5]);
    }
    f.valid = true;
    f.paddedSize = padded;
    f.nextField = be32(&h[16]);
    return f;
}

} // namespace repair
