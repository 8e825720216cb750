#include "AloneScan.h"

#include "codec/Ac3Frame.h"
#include "codec/Codec.h"
#include "codec/MediaView.h"

#include <algorithm>
#include <array>

namespace repair {
namespace {

constexpr std::size_t kBlock = 64u << 10;
constexpr std::size_t kLearnSamples = 64;
constexpr int kIdr = 5, kSps = 7, kPps = 8;
constexpr int kFirstIrap = 16, kLastIrap = 23, kVps = 32, kPpsHevc = 34;

// Which units that nothing after them confirms a scan takes: any, those no larger than the
// pictures so far, none.
enum class Lone { Any, Small, None };

class NoNotes : public ProbeNotes {
public:
    void found(std::uint64_t, const SampleGuess&) override {}
};

class Scanner {
public:
    Scanner(const ByteSource& file, std::uint64_t begin, std::uint64_t limit, Codec& codec,
            VideoCodec kind, int lengthSize)
        : view_(file, begin, limit, true), codec_(codec), kind_(kind), lengthSize_(lengthSize) {}

    // The size of a whole access unit at pos; 0 when none starts there; with `confirmed`, 0
    // also for a unit that is not a keyframe, that nothing after it confirms and that is
    // larger than the pictures taken so far. An encoder's stream
    // opens with a keyframe: before one is found, nothing else is taken for video (other
    // tracks' bytes ahead of the first video chunk may look like a picture).
    std::uint64_t unitAt(std::uint64_t pos, Lone lone = Lone::Any) {
        const SampleGuess g = codec_.probe(view_, pos, notes_);
        const bool unit = g.sure >= Sureness::Likely && !g.cut;
        const KeyLook look = unit ? keyLook(pos, g.size) : KeyLook{};
        // A stream that repeats its parameter sets before its keyframes does so before every
        // one: a keyframe in looks without them, larger than every keyframe so far, is
        // another track's bytes whose length prefix runs on over what follows.
        if (look.key && !look.params && keysWithParams_ > 0 && g.size > largestKey_) {
            return 0;
        }
        const bool key = look.key;
        const bool sure = g.sure >= Sureness::Sure || key;
        const bool loneFits = lone == Lone::Any || (lone == Lone::Small && g.size <= largestOther_);
        lastSure_ = sure;
        return unit && (largestKey_ > 0 || key) && (sure || loneFits) ? g.size : 0;
    }

    // Where a run of other bytes from pos on may hold the next access unit: past the whole
    // AC-3 syncframes it opens with (their sync words, sizes and CRCs leave no doubt), the
    // next byte otherwise.
    std::uint64_t searchFrom(std::uint64_t pos) const {
        return std::max(pos + 1, syncFramesEnd(view_, pos, view_.limit()));
    }

    // The next place from `from` on where an access unit starts; the limit when none does.
    // loneLikely: a unit that nothing after it confirms (a chunk of one picture, or a
    // picture in looks only) may be taken; else only units that a next one confirms,
    // keyframes, or pictures no larger than the others so far.
    std::uint64_t nextUnit(std::uint64_t from, Lone loneLikely) {
        std::array<std::uint8_t, kBlock> buf{};
        for (std::uint64_t at = from; at < view_.limit();) {
            const std::size_t n = view_.read(at, buf.data(), buf.size());
            if (n == 0) {
                break;
            }
            for (std::size_t i = 0; i < n; ++i) {
                i += codec_.nextCandidate(buf.data() + i, n - i);
                if (i < n) {
                    if (const std::uint64_t size = unitAt(at + i, loneLikely);
                        size > 0 && believable(at + i, size) && continues(at + i, size)) {
                        return at + i;
                    }
                }
            }
            at += n;
        }
        return view_.limit();
    }

    // A unit found in the bytes of another track may be one only in looks: its length
    // prefix then runs on over what follows, the real next unit included. A picture
    // that is not a keyframe yet larger than every keyframe so far is taken for such a one.
    bool believable(std::uint64_t pos, std::uint64_t size) const {
        return largestKey_ == 0 || size <= largestKey_ || keyLook(pos, size).key;
    }

    // A unit between other tracks' bytes that nothing after it confirms is taken only as
    // the stream's next picture (H.264: its frame_num follows the last reference picture's),
    // or a keyframe.
    bool continues(std::uint64_t pos, std::uint64_t size) {
        return lastSure_ || keyLook(pos, size).key || codec_.continuesAt(view_, pos);
    }

    bool take(std::uint64_t pos, std::uint64_t size) {
        if (const KeyLook look = keyLook(pos, size); look.key) {
            keysWithParams_ += look.params ? 1 : 0;
            largestKey_ = std::max(largestKey_, size);
        } else {
            largestOther_ = std::max(largestOther_, size);
        }
        return codec_.take(view_, pos, size).sync;
    }
    std::uint64_t limit() const { return view_.limit(); }

private:
    struct KeyLook {
        bool key = false;    // a NAL unit of it is a keyframe's slice (IDR; HEVC: any IRAP)
        bool params = false; // a parameter set comes before that slice
    };
    KeyLook keyLook(std::uint64_t pos, std::uint64_t size) const {
        const auto ls = static_cast<std::uint64_t>(lengthSize_);
        const bool hevc = kind_ == VideoCodec::Hevc;
        std::uint8_t b[6] = {};
        KeyLook look;
        for (std::uint64_t at = pos; at + ls + 2 <= pos + size;) {
            if (view_.read(at, b, ls + 2) != ls + 2) {
                return {};
            }
            std::uint64_t n = 0;
            for (std::uint64_t i = 0; i < ls; ++i) {
                n = (n << 8) | b[i];
            }
            const int type = hevc ? (b[ls] >> 1) & 0x3f : b[ls] & 0x1f;
            look.params = look.params ||
                          (hevc ? type >= kVps && type <= kPpsHevc : type == kSps || type == kPps);
            if (hevc ? type >= kFirstIrap && type <= kLastIrap : type == kIdr) {
                look.key = true;
                return look;
            }
            at += ls + n;
        }
        return {};
    }

    MediaView view_;
    Codec& codec_;
    NoNotes notes_;
    VideoCodec kind_;
    int lengthSize_;
    std::uint64_t largestKey_ = 0;
    std::uint64_t keysWithParams_ = 0;
    std::uint64_t largestOther_ = 0; // pictures that are not keyframes
    bool lastSure_ = false;          // the last unit asked about: confirmed, or a keyframe
};

void addStretch(MediaScan& s, std::uint64_t at, std::uint64_t bytes, bool video) {
    if (!s.stretches.empty() && s.stretches.back().video == video &&
        s.stretches.back().offset + s.stretches.back().bytes == at) {
        s.stretches.back().bytes += bytes;
        s.stretches.back().samples += video ? 1 : 0;
        return;
    }
    s.stretches.push_back({at, bytes, video ? 1u : 0u, video});
}

// What the video chunks closed so far say about chunks of one picture, gathered as they
// close (each looked at once, not the whole list at every gap).
struct ClosedChunks {
    std::size_t upTo = 0;
    bool lone = false;        // a chunk held one picture
    bool firstSeen = false;   // a video chunk closed
    bool laterLonger = false; // a chunk but the first held more than one

    // Chunks of one picture are the layout's own once one came (the first one when it is
    // no larger than the pictures so far and no chunk but the first held more); otherwise a
    // lone picture between runs is taken for another track's bytes.
    Lone update(const std::vector<Stretch>& stretches) {
        for (; upTo < stretches.size(); ++upTo) {
            const Stretch& st = stretches[upTo];
            if (st.video) {
                lone = lone || st.samples == 1;
                laterLonger = laterLonger || (firstSeen && st.samples > 1);
                firstSeen = true;
            }
        }
        return lone ? Lone::Any : !laterLonger ? Lone::Small : Lone::None;
    }
};

} // namespace

MediaScan scanMedia(const ByteSource& file, std::uint64_t begin, std::uint64_t limit,
                    const RefTrack& video, VideoCodec kind, int lengthSize, const Options& o,
                    std::uint64_t maxFrames) {
    MediaScan s;
    const CodecFamily* family = familyFor(video);
    if (!family) {
        return s;
    }
    const auto codec = family->make({video, file, o.h264Level, o.aacLowGain});
    Scanner scan(file, begin, limit, *codec, kind, lengthSize);
    std::uint64_t pos = begin;
    ClosedChunks closed;
    while (pos < limit && s.frames < maxFrames) {
        if (const std::uint64_t size = scan.unitAt(pos)) {
            if (scan.take(pos, size)) {
                s.syncSamples.push_back(static_cast<std::uint32_t>(s.frames + 1));
            }
            if (s.firstSamples.size() < kLearnSamples) {
                s.firstSamples.push_back({pos, static_cast<std::uint32_t>(size)});
            }
            addStretch(s, pos, size, true);
            s.largest = std::max(s.largest, size);
            ++s.frames;
            pos += size;
            continue;
        }
        // Every chunk listed is closed here: the video chunk before pos ended at it.
        const std::uint64_t next = scan.nextUnit(scan.searchFrom(pos), closed.update(s.stretches));
        addStretch(s, pos, next - pos, false);
        s.openEnd = next >= limit;
        pos = next;
    }
    return s;
}

} // namespace repair
