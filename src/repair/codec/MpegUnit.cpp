#include "codec/MpegUnit.h"

#include "box/Endian.h"

#include <array>

namespace repair {
namespace {

constexpr int kMaxCodesPerUnit = 8192;

MpegUnit foreignAt(MpegUnit u, std::uint64_t at) {
    u.next = at;
    return u;
}

} // namespace

MpegUnit MpegUnitReader::read(const ByteSource& media, std::uint64_t pos, std::uint64_t end,
                              const MpegState& start, bool headersOnly) const {
    MpegUnit u;
    MpegState state = start;
    int pictures = 0;
    int want = 1;
    std::uint64_t at = pos;
    for (int codes = 0; codes < kMaxCodesPerUnit; ++codes) {
        std::array<std::uint8_t, 4 + kMpegHeaderBytes> h{};
        const std::size_t n = media.read(at, h.data(), h.size());
        if (n < 4 && pictures > 0 && at + n >= end) {
            u.next = end; // the cut took the code after a start code's prefix
            return u;
        }
        if (n < 4 || be32(h.data()) >> 8 != 1) {
            return {};
        }
        const std::uint8_t code = h[3];
        const std::uint8_t* body = h.data() + 4;
        const std::size_t len = n - 4;
        const CodeRole role = codeRole(standard_, code);
        if (pictures >= want && (role == CodeRole::Opens || role == CodeRole::Picture)) {
            u.next = at;
            u.nextOpens = true;
            return u;
        }
        if (role == CodeRole::Foreign || (pictures >= want && role == CodeRole::Closes)) {
            if (pictures == 0) {
                return {};
            }
            u.next = role == CodeRole::Closes ? at + 4 : at;
            return u;
        }
        if (role == CodeRole::Opens) {
            if (!groupHeader(code, body, len, u, state)) {
                return {};
            }
            if (headersOnly) {
                u.valid = true;
                return u;
            }
        }
        if (role == CodeRole::Picture) {
            const PictureHeader p = readPicture(standard_, body, len, state);
            if (!p.valid) {
                return pictures == 0 ? MpegUnit{} : foreignAt(u, at);
            }
            if (pictures++ == 0) {
                u.picture = p;
                u.pictureAt = at;
                u.valid = true;
            }
            u.searchFrom = at + p.headerBytes;
            u.fallbackFrom = u.searchFrom;
            if (headersOnly) {
                return u;
            }
            if (!p.coded) {
                u.next = at + p.notCodedBytes;
                return u;
            }
        } else if (role == CodeRole::Inside && !inside(code, body, len, at, pictures, want, u)) {
            return {};
        }
        const auto sc = nextStartCode(media, at + 4, end);
        if (!sc) {
            if (pictures == 0) {
                return {};
            }
            u.next = end;
            return u;
        }
        at = *sc;
    }
    return {};
}

// A slice (MPEG-2) moves where the picture's end is looked for; a picture coding
// extension says whether a second field follows. False for a slice before any picture.
bool MpegUnitReader::inside(std::uint8_t code, const std::uint8_t* body, std::size_t len,
                            std::uint64_t at, int pictures, int& want, MpegUnit& u) const {
    constexpr std::uint8_t kUserData = 0xB2;
    constexpr std::uint8_t kExtension = 0xB5;
    constexpr std::uint64_t kSliceHeader = 5;
    if (standard_ != MpegStandard::Mpeg2 || code == kUserData) {
        return true;
    }
    if (code == kExtension) {
        if (pictures > 0 && want == 1) {
            want = fieldPicture(body, len).value_or(false) ? 2 : 1;
        }
        return true;
    }
    if (pictures == 0) {
        return false;
    }
    if (u.fallbackFrom <= u.pictureAt + u.picture.headerBytes) {
        u.fallbackFrom = at + kSliceHeader;
    }
    u.searchFrom = at + kSliceHeader;
    return true;
}

bool MpegUnitReader::groupHeader(std::uint8_t code, const std::uint8_t* body, std::size_t len,
                                 MpegUnit& u, MpegState& state) const {
    u.opensGroup = true;
    if (standard_ == MpegStandard::Mpeg2) {
        if (code == 0xB8) {
            u.gopHeader = true;
            u.gopPictures = gopPictureCount(body, len, framesPerSecond_);
        }
        return code == 0xB3 ? sequenceHeaderSound(body, len) : gopHeaderSound(standard_, body, len);
    }
    if (code >= 0x20 && code <= 0x2F) {
        if (!readVol(body, len, state)) {
            return false;
        }
        u.vol = state;
    } else if (code == 0xB3) {
        u.govSeconds = govSeconds(body, len);
        return u.govSeconds.has_value();
    }
    return true;
}

void readConfigVol(const std::vector<std::uint8_t>& config, MpegState& state) {
    const MemorySource src(config.data(), config.size());
    std::uint64_t at = 0;
    while (auto sc = nextStartCode(src, at, config.size())) {
        std::array<std::uint8_t, 4 + kMpegHeaderBytes> h{};
        const std::size_t n = src.read(*sc, h.data(), h.size());
        if (n > 4 && h[3] >= 0x20 && h[3] <= 0x2F) {
            readVol(h.data() + 4, n - 4, state);
        }
        at = *sc + 3;
    }
}

} // namespace repair
