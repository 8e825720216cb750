// A syncframe opens with the sync word 0x0B77 and says its own size: libavcodec's
// av_ac3_parse_header reads it. AC-3 carries two CRCs, over the first five eighths of the
// frame past the sync word and over the rest; E-AC-3 one, over all of it past the sync word.
// Each leaves a remainder of zero, so one CRC over the frame past its sync word checks both.
#include "codec/Ac3Frame.h"

#include "box/Endian.h"

#include <array>
#include <vector>

extern "C" {
#include <libavcodec/ac3_parser.h>
#include <libavutil/crc.h>
}

namespace repair {
namespace {

constexpr std::size_t kHeader = 16;
constexpr int kFirstEac3Id = 11;

} // namespace

SyncFrame syncFrameAt(const ByteSource& src, std::uint64_t pos, std::uint64_t limit) {
    SyncFrame f;
    std::array<std::uint8_t, kHeader> h{};
    if (src.read(pos, h.data(), h.size()) != h.size() || be16(h.data()) != 0x0B77) {
        return f;
    }
    std::uint8_t bsid = 0;
    std::uint16_t size = 0;
    if (av_ac3_parse_header(h.data(), h.size(), &bsid, &size) < 0 || size < kHeader) {
        return f;
    }
    f.header = true;
    f.size = size;
    if (bsid >= kFirstEac3Id) {
        f.streamType = h[2] >> 6;
        f.substream = (h[2] >> 3) & 7;
        const int fscod = h[4] >> 6;
        static constexpr int kBlocks[] = {1, 2, 3, 6};
        f.blocks = fscod == 3 ? kAc3BlocksPerSample : kBlocks[(h[4] >> 4) & 3];
    }
    if (pos + size > limit) {
        return f;
    }
    std::vector<std::uint8_t> frame(size);
    if (src.read(pos, frame.data(), size) != size) {
        return f;
    }
    f.whole = av_crc(av_crc_get_table(AV_CRC_16_ANSI), 0, frame.data() + 2, size - 2u) == 0;
    return f;
}

std::uint64_t syncFramesEnd(const ByteSource& src, std::uint64_t pos, std::uint64_t limit) {
    for (SyncFrame f = syncFrameAt(src, pos, limit); f.whole; f = syncFrameAt(src, pos, limit)) {
        pos += f.size;
    }
    return pos;
}

} // namespace repair
