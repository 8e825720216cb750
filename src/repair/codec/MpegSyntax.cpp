#include "codec/MpegSyntax.h"

#include "box/Endian.h"
#include "codec/BitReader.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace repair {
namespace {

constexpr std::size_t kFirstScanBlock = 1u << 10;
constexpr std::size_t kScanBlock = 64u << 10;

// MPEG-2 start code values (ISO/IEC 13818-2 table 6-1).
constexpr std::uint8_t kPicture = 0x00;
constexpr std::uint8_t kLastSlice = 0xAF;
constexpr std::uint8_t kUserData = 0xB2;
constexpr std::uint8_t kSequence = 0xB3;
constexpr std::uint8_t kExtension = 0xB5;
constexpr std::uint8_t kSequenceEnd = 0xB7;
constexpr std::uint8_t kGop = 0xB8;
// MPEG-4 Part 2 start code values (ISO/IEC 14496-2 table 6-3).
constexpr std::uint8_t kLastVo = 0x1F;
constexpr std::uint8_t kFirstVol = 0x20;
constexpr std::uint8_t kLastVol = 0x2F;
constexpr std::uint8_t kVos = 0xB0;
constexpr std::uint8_t kVosEnd = 0xB1;
constexpr std::uint8_t kGov = 0xB3;
constexpr std::uint8_t kVisualObject = 0xB5;
constexpr std::uint8_t kVop = 0xB6;

constexpr int kRectangular = 0;
constexpr int kBinaryOnly = 2;
constexpr int kGrayscale = 3;
constexpr int kExtendedPar = 15;

} // namespace

std::optional<std::uint64_t> nextStartCode(const ByteSource& src, std::uint64_t from,
                                           std::uint64_t end) {
    // Start codes are often near: small reads first, larger ones for long stretches.
    std::vector<std::uint8_t> buf;
    std::size_t block = kFirstScanBlock;
    while (from + 3 <= end) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(block, end - from));
        buf.resize(want);
        const std::size_t n = src.read(from, buf.data(), want);
        if (n < 3) {
            return std::nullopt;
        }
        const std::uint8_t* p = buf.data();
        for (std::size_t i = 2; i < n;) {
            const void* one = std::memchr(p + i, 1, n - i);
            if (!one) {
                break;
            }
            i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(one) - p);
            if (p[i - 1] == 0 && p[i - 2] == 0) {
                return from + i - 2;
            }
            ++i;
        }
        if (n < want) {
            return std::nullopt;
        }
        from += n - 2;
        block = std::min(block * 2, kScanBlock);
    }
    return std::nullopt;
}

CodeRole codeRole(MpegStandard standard, std::uint8_t code) {
    if (standard == MpegStandard::Mpeg2) {
        if (code == kPicture) {
            return CodeRole::Picture;
        }
        if (code <= kLastSlice || code == kUserData || code == kExtension) {
            return CodeRole::Inside;
        }
        if (code == kSequence || code == kGop) {
            return CodeRole::Opens;
        }
        return code == kSequenceEnd ? CodeRole::Closes : CodeRole::Foreign;
    }
    if (code == kVop) {
        return CodeRole::Picture;
    }
    if (code <= kLastVo || (code >= kFirstVol && code <= kLastVol) || code == kVos ||
        code == kGov || code == kVisualObject) {
        return CodeRole::Opens;
    }
    if (code == kUserData) {
        return CodeRole::Inside;
    }
    return code == kVosEnd ? CodeRole::Closes : CodeRole::Foreign;
}

bool sequenceHeaderSound(const std::uint8_t* p, std::size_t n) {
    BitReader br(p, n);
    const auto w = static_cast<int>(br.bits(12));
    const auto h = static_cast<int>(br.bits(12));
    const std::uint32_t aspect = br.bits(4);
    const std::uint32_t rate = br.bits(4);
    br.skip(18); // bit rate
    const bool marker = br.flag();
    return !br.failed() && w != 0 && h != 0 && aspect != 0 && rate != 0 && rate <= 8 && marker;
}

bool gopHeaderSound(MpegStandard standard, const std::uint8_t* p, std::size_t n) {
    BitReader br(p, n);
    if (standard == MpegStandard::Mpeg2) {
        br.skip(1);
        const std::uint32_t hours = br.bits(5);
        const std::uint32_t minutes = br.bits(6);
        const bool marker = br.flag();
        const std::uint32_t seconds = br.bits(6);
        return !br.failed() && marker && hours < 24 && minutes < 60 && seconds < 60;
    }
    return govSeconds(p, n).has_value();
}

// ISO/IEC 13818-2 6.2.2.6: time_code is drop_frame_flag, hours, minutes, marker, seconds,
// pictures. With drop_frame_flag (29.97 Hz), picture numbers 0 and 1 are skipped at the start
// of every minute but each tenth, so that the count keeps up with the clock.
std::optional<std::int64_t> gopPictureCount(const std::uint8_t* p, std::size_t n,
                                            std::int64_t framesPerSecond) {
    BitReader br(p, n);
    const bool dropFrame = br.flag();
    const std::uint32_t hours = br.bits(5);
    const std::uint32_t minutes = br.bits(6);
    const bool marker = br.flag();
    const std::uint32_t seconds = br.bits(6);
    const std::uint32_t pictures = br.bits(6);
    if (br.failed() || !marker || hours >= 24 || minutes >= 60 || seconds >= 60 ||
        framesPerSecond <= 0 || pictures >= framesPerSecond) {
        return std::nullopt;
    }
    const std::int64_t totalMinutes = 60 * std::int64_t{hours} + minutes;
    std::int64_t count = (60 * totalMinutes + seconds) * framesPerSecond + pictures;
    if (dropFrame) {
        count -= 2 * (totalMinutes - totalMinutes / 10);
    }
    return count;
}

std::optional<std::int64_t> govSeconds(const std::uint8_t* p, std::size_t n) {
    BitReader br(p, n);
    const std::uint32_t hours = br.bits(5);
    const std::uint32_t minutes = br.bits(6);
    const bool marker = br.flag();
    const std::uint32_t seconds = br.bits(6);
    if (br.failed() || !marker || hours >= 24 || minutes >= 60 || seconds >= 60) {
        return std::nullopt;
    }
    return std::int64_t{seconds} + 60 * (std::int64_t{minutes} + 60 * std::int64_t{hours});
}

std::optional<bool> fieldPicture(const std::uint8_t* p, std::size_t n) {
    constexpr int kPictureCodingExtension = 8;
    constexpr int kFrame = 3;
    if (n < 3 || (p[0] >> 4) != kPictureCodingExtension) {
        return std::nullopt;
    }
    const int structure = p[2] & 3;
    return structure == 0 ? std::nullopt : std::optional<bool>(structure != kFrame);
}

PictureHeader readPicture(MpegStandard standard, const std::uint8_t* p, std::size_t n,
                          const MpegState& state) {
    PictureHeader h;
    BitReader br(p, n);
    if (standard == MpegStandard::Mpeg2) {
        h.temporalReference = static_cast<int>(br.bits(10));
        const std::uint32_t type = br.bits(3);
        br.skip(16); // vbv delay
        if (br.failed() || type == 0 || type > 3) {
            return h;
        }
        h.type = static_cast<PictureType>(type);
        h.valid = true;
        return h;
    }
    h.type = static_cast<PictureType>(br.bits(2) + 1);
    int seconds = 0;
    while (br.flag() && !br.failed()) {
        if (++seconds > 60) {
            return h;
        }
    }
    h.secondsAdded = static_cast<std::uint32_t>(seconds);
    const bool before = br.flag();
    h.timeIncrement = br.bits(state.timeBits);
    const bool after = br.flag();
    h.coded = br.flag();
    if (br.failed() || !before || !after || state.timeBits == 0 ||
        (state.timeResolution != 0 && h.timeIncrement >= state.timeResolution)) {
        return h;
    }
    if (!h.coded) {
        // Stuffing: a zero bit, then ones up to the byte boundary.
        h.notCodedBytes = 4 + br.position() / 8 + 1;
    }
    // Then at most rounding, DC threshold, field flags, quantiser and two fcodes.
    constexpr std::size_t kMoreHeaderBits = 1 + 3 + 2 + 9 + 3 + 3;
    h.headerBytes = 4 + (br.position() + kMoreHeaderBits + 7) / 8;
    h.valid = true;
    return h;
}

bool readVol(const std::uint8_t* p, std::size_t n, MpegState& state) {
    BitReader br(p, n);
    br.skip(1 + 8); // random access, object type
    int verid = 1;
    if (br.flag()) {
        verid = static_cast<int>(br.bits(4));
        br.skip(3);
    }
    if (br.bits(4) == kExtendedPar) {
        br.skip(16);
    }
    if (br.flag()) { // control parameters
        br.skip(2 + 1);
        if (br.flag()) { // VBV parameters, with their markers
            br.skip(15 + 1 + 15 + 1 + 15 + 1 + 3 + 11 + 1 + 15 + 1);
        }
    }
    const int shape = static_cast<int>(br.bits(2));
    if (shape == kGrayscale && verid != 1) {
        br.skip(4);
    }
    const bool marker = br.flag();
    const std::uint32_t resolution = br.bits(16);
    if (br.failed() || !marker || resolution == 0 || !br.flag()) {
        return false;
    }
    int bits = 1;
    while (bits < 16 && (1u << bits) < resolution) {
        ++bits;
    }
    state.fixedIncrement = br.flag() ? br.bits(bits) : 0;
    state.timeResolution = resolution;
    state.timeBits = bits;
    state.rectangular = shape == kRectangular;
    return !br.failed() && shape != kBinaryOnly;
}

std::int64_t vopTime(MpegState& state, const PictureHeader& vop) {
    const auto resolution = static_cast<std::int64_t>(state.timeResolution);
    if (vop.type != PictureType::B) {
        state.lastTimeBase = state.timeBase;
        state.timeBase += vop.secondsAdded;
        return state.timeBase * resolution + vop.timeIncrement;
    }
    return (state.lastTimeBase + vop.secondsAdded) * resolution + vop.timeIncrement;
}

bool isMpeg2ObjectType(std::uint8_t ot) {
    return (ot >= 0x60 && ot <= 0x65) || ot == 0x6A;
}

bool isMpeg2Code(std::uint32_t c) {
    const std::uint32_t prefix = c >> 8;
    return prefix == (fourcc("xdv ") >> 8) || prefix == (fourcc("xd5 ") >> 8) ||
           prefix == (fourcc("hdv ") >> 8) || c == fourcc("mx3n") || c == fourcc("mx3p") ||
           c == fourcc("mx4n") || c == fourcc("mx4p") || c == fourcc("mx5n") ||
           c == fourcc("mx5p") || c == fourcc("m2v1") || c == fourcc("mp2v") || c == fourcc("AVmp");
}

} // namespace repair
