// A camera that preallocates its file leaves zeros after the media when recording stops
// abruptly, up to the length it had planned: often far more bytes than the media.
#include "walk/ZeroTail.h"

#include "walk/ChunkWalker.h"

#include <algorithm>
#include <array>

namespace repair {
namespace {

// Zeros beyond a chunk of each fixed-size track that make a run at the end a preallocated
// tail. Media ends in zero bytes only where a sample's own bytes do. Compressed video never
// does (a NAL unit cannot end in 0x00: cabac_zero_words get a 0x03 after them), nor does an
// AAC frame (its END element comes last). Fixed-size samples can: silent PCM fills whole
// chunks with zeros and data samples may be padded, so real media ends in at most one
// chunk of each such track in zeros. 16 KiB more leaves room for the stuffing or padding
// other formats allow at the end of a frame; a shorter run is taken for media. A camera
// reserves megabytes at a time.
constexpr std::uint64_t kMinZeroTail = 16u << 10;
// Bytes at the end of a chunk that tell whether its sound ended in silence.
constexpr std::size_t kSilenceProbe = 256;

} // namespace

std::uint64_t zeroTailMinimum(const Layout& layout) {
    std::uint64_t n = kMinZeroTail;
    for (std::size_t t = 0; t < layout.trackCount(); ++t) {
        const int i = static_cast<int>(t);
        const std::uint64_t chunk = std::uint64_t{layout.maxCount(i)} * layout.sampleBytes(i);
        n += std::min(chunk, UINT64_MAX - n);
    }
    return n;
}

// Whether the last chunk taken of track t ends in zeros.
bool ChunkWalker::endsInSilence(int t) const {
    const RecoveredTrack& r = result_.tracks[idx(t)];
    const std::uint64_t bytes = layout_.sampleBytes(t);
    if (r.chunks.empty() || bytes == 0) {
        return false;
    }
    const std::uint64_t end = r.chunks.back().offset + r.chunks.back().samples * bytes;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, kSilenceProbe));
    std::array<std::uint8_t, kSilenceProbe> last{};
    return end >= n && media_.read(end - n, last.data(), n) == n &&
           std::all_of(last.begin(), last.begin() + static_cast<std::ptrdiff_t>(n),
                       [](std::uint8_t b) { return b == 0; });
}

// The walk stopped on a chunk boundary where the zero tail starts. The chunk the layout
// expects next may be raw sound that was silent and written whole before the cut: it is
// taken when the track's chunk before it ended in silence too, as sound that went silent
// exactly where a chunk starts is far less likely than a cut there. A chunk straddling the
// start of the tail is not extended: what it had of silence cannot be told from the tail.
void ChunkWalker::takeSilenceBeforeTail() {
    const std::uint64_t tailEnd = media_.zeroTailEnd();
    if (tailEnd <= media_.limit() || pos_ != media_.limit() || result_.lostToCut != 0 ||
        prev_ < 0) {
        return;
    }
    for (int t : layout_.successors(prev_)) {
        const std::uint64_t bytes = layout_.sampleBytes(t);
        if (!codecs_[idx(t)]->headerless() || bytes == 0 || !endsInSilence(t)) {
            continue;
        }
        std::uint32_t n = countInTime(t, 0);
        if (n == 0 || !layout_.knownCount(t, n)) {
            const auto counts = layout_.countsFor(t, chunksTaken_[idx(t)]);
            n = counts.empty() ? 0 : counts[0];
        }
        if (n > 0 && n <= (tailEnd - pos_) / bytes) {
            takeLaidOut({t, Sureness::Maybe, n, false});
            result_.limit = pos_;
            return;
        }
    }
}

} // namespace repair
