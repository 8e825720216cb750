// MPEG-2 video (xdv*, xd5*, mx3*-mx5*, hdv*, m2v1, mp2v, AVmp, and mp4v with an MPEG-1/2
// object type) and MPEG-4 Part 2 (mp4v with object type 0x20). A sample is the headers and
// picture(s) between two start codes that open samples (MpegSyntax, our own). Where another
// track's chunk follows instead, nothing marks the picture's end: libavcodec's decoder, run
// strict, accepts a picture only when the bytes end exactly where its last macroblock does,
// so it is the judge of both cases (MpegJudge).
#include "box/Box.h"
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"
#include "codec/Composition.h"
#include "codec/EntryFields.h"
#include "codec/EsDescriptor.h"
#include "codec/MpegCount.h"
#include "codec/MpegJudge.h"
#include "codec/MpegSyntax.h"
#include "codec/MpegUnit.h"

#include <algorithm>
#include <array>
#include <optional>

namespace repair {
namespace {

// How far a sample's start codes are followed: past a picture and another track's chunk.
constexpr std::uint64_t kMinUnit = 1u << 20;
constexpr std::uint64_t kMaxUnit = 16u << 20;
// A picture is at most twice the reference's largest sample (within these bounds).
constexpr std::uint64_t kMinPicture = 256u << 10;
constexpr std::uint64_t kMaxPicture = 16u << 20;
// Bytes decoded, at most, to find a picture's end up to a cut.
constexpr std::uint64_t kCutSearchBytes = 8u << 20;

// The share of the reference's first pictures that end in a zero byte: stuffing, which an
// encoder that stuffs writes to most of them, and one that pads now and then (to keep a
// constant rate) to a few.
double zeroEndShare(const ByteSource& reference, const std::vector<RefSample>& samples) {
    const auto zero = std::count_if(samples.begin(), samples.end(), [&](const RefSample& r) {
        std::uint8_t last = 1;
        return r.size > 0 && reference.read(r.offset + r.size - 1, &last, 1) == 1 && last == 0;
    });
    return samples.empty() ? 0 : static_cast<double>(zero) / static_cast<double>(samples.size());
}

// Whole frames a second, as time codes count them (30 for 29.97 Hz).
std::int64_t framesPerSecond(const RefTrack& t) {
    return t.sampleDuration == 0 ? 0 : (t.timescale + t.sampleDuration / 2) / t.sampleDuration;
}

class MpegVideo : public Codec {
public:
    MpegVideo(const CodecSetup& s, MpegStandard standard, const std::vector<std::uint8_t>& config)
        : standard_(standard), maxUnit_(std::clamp<std::uint64_t>(
                                   std::uint64_t{s.track.maxSampleSize} * 4, kMinUnit, kMaxUnit)),
          maxPicture_(std::clamp<std::uint64_t>(std::uint64_t{s.track.maxSampleSize} * 2,
                                                kMinPicture, kMaxPicture)),
          units_(standard, framesPerSecond(s.track)),
          judge_(standard, config, s.reference, s.track.firstSamples),
          frameDuration_(s.track.sampleDuration), timescale_(s.track.timescale),
          shownDelay_(s.track.shownDelay) {
        if (standard == MpegStandard::Mpeg4 && !config.empty()) {
            readConfigVol(config, state_);
        }
        zeroEnds_ = zeroEndShare(s.reference, s.track.firstSamples);
    }

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        const SampleGuess cutOff{Sureness::Likely, media.limit() - pos + 1, true};
        if (media.nested()) {
            // While another codec asks: the headers alone, which is cheap.
            const MpegUnit u = walk(media, pos, true);
            return u.valid                    ? SampleGuess{Sureness::Likely, 0, false}
                   : cutInHeaders(media, pos) ? cutOff
                                              : SampleGuess{};
        }
        Cached c{pos, walk(media, pos, false), {}};
        c.guess = c.unit.valid               ? extent(media, pos, c.unit)
                  : cutInHeaders(media, pos) ? cutOff
                                             : SampleGuess{};
        last_ = c;
        return c.guess;
    }

    SampleFacts take(MediaView& media, std::uint64_t pos, std::uint64_t size) override {
        if (!last_ || last_->pos != pos) {
            last_ = Cached{pos, walk(media, pos, false), {}};
        }
        const MpegUnit& u = last_->unit;
        if (u.vol) {
            state_.timeBits = u.vol->timeBits;
            state_.timeResolution = u.vol->timeResolution;
        }
        if (u.govSeconds) {
            state_.timeBase = *u.govSeconds;
        }
        if (standard_ == MpegStandard::Mpeg4) {
            pictures_.push_back({vopTime(state_, u.picture), pictures_.empty(), false});
        } else {
            pictures_.push_back(
                {u.picture.temporalReference, u.opensGroup || pictures_.empty(), u.gopHeader});
            count_.taken(u.picture.temporalReference, static_cast<int>(u.picture.type), u.gopHeader,
                         u.gopPictures);
        }
        if (u.picture.type != PictureType::B) {
            judge_.follow(media, pos, size);
        }
        SampleFacts facts;
        facts.sync = u.picture.type == PictureType::I;
        last_.reset();
        return facts;
    }

    // MPEG-2 counts its pictures (GOP time codes, temporal references); MPEG-4's VOP times
    // need the time base that the damage took.
    std::vector<std::uint64_t> lostBefore(MediaView& media, std::uint64_t pos,
                                          std::uint64_t upTo) override {
        const MpegUnit u = walk(media, pos, false);
        if (standard_ != MpegStandard::Mpeg2 || !u.valid || !u.picture.valid) {
            count_.gap();
            return {};
        }
        return count_.lostBefore(u.picture.temporalReference, static_cast<int>(u.picture.type),
                                 u.gopHeader, u.gopPictures, upTo);
    }

    std::optional<std::uint64_t> settledLoss() override { return count_.settled(); }

    std::vector<std::uint32_t> compositionOffsets() const override {
        return repair::compositionOffsets(pictures_, orderHints());
    }

    std::string describe() const override {
        std::string s = standard_ == MpegStandard::Mpeg2 ? "MPEG-2 video" : "MPEG-4 Part 2 video";
        if (standard_ == MpegStandard::Mpeg4) {
            s += ", time resolution " + std::to_string(state_.timeResolution);
        }
        return s + (judge_.ok() ? ", picture ends checked by decoding" : ", start codes only");
    }

private:
    struct Cached {
        std::uint64_t pos = 0;
        MpegUnit unit;
        SampleGuess guess;
    };

    // A temporal reference counts frames. A VOP time counts ticks of the time resolution:
    // the fixed increment, else as many as a frame of the reference lasts.
    OrderHints orderHints() const {
        OrderHints h;
        h.delay = shownDelay_;
        if (standard_ == MpegStandard::Mpeg2) {
            h.step = 1;
        } else if (state_.fixedIncrement != 0) {
            h.step = state_.fixedIncrement;
        } else if (timescale_ != 0 &&
                   std::uint64_t{state_.timeResolution} * frameDuration_ % timescale_ == 0) {
            h.step = static_cast<std::int64_t>(std::uint64_t{state_.timeResolution} *
                                               frameDuration_ / timescale_);
        }
        return h;
    }

    MpegUnit walk(MediaView& media, std::uint64_t pos, bool headersOnly) const {
        return units_.read(media, pos, std::min(media.limit(), pos + maxUnit_), state_,
                           headersOnly);
    }

    // A cut a few bytes into a sample leaves too little to read its headers: a cut-off sample
    // all the same, where it opens as one does (a whole small picture reads as itself).
    bool cutInHeaders(MediaView& media, std::uint64_t pos) const {
        std::uint8_t h[4];
        if (!media.endIsCut() || media.limit() - pos >= kMpegHeaderBytes ||
            media.read(pos, h, sizeof h) != sizeof h || be32(h) >> 8 != 1) {
            return false;
        }
        const CodeRole role = codeRole(standard_, h[3]);
        return role == CodeRole::Opens || role == CodeRole::Picture;
    }

    // Where the sample ends: at the next sample's start code, or, when another track's chunk
    // comes first, at the first place after the picture's last data where that chunk starts
    // and the picture decodes exactly.
    SampleGuess extent(MediaView& media, std::uint64_t pos, const MpegUnit& u) {
        if (!u.picture.coded) {
            return {Sureness::Sure, u.next - pos, u.next > media.limit()};
        }
        const auto bytes = media.bytes(pos, static_cast<std::size_t>(u.next - pos));
        const PictureType type = u.picture.type;
        const WholeVerdict whole = judge_.judge(bytes.data(), bytes.size(), type);
        if (whole == WholeVerdict::Exact) {
            return {Sureness::Sure, u.next - pos, false};
        }
        if (whole == WholeVerdict::Unknown) {
            return u.nextOpens || u.next == media.limit()
                       ? SampleGuess{Sureness::Likely, u.next - pos, false}
                       : SampleGuess{};
        }
        // Up to a cut, the chunk that follows cannot be checked as a whole: the decoder alone
        // says where the picture ends.
        const bool atCut = u.next == media.limit() && media.endIsCut();

        auto e = endBefore(media, pos, u.searchFrom, u.next, bytes, type, atCut);
        if (!e && u.fallbackFrom < u.searchFrom) {
            e = endBefore(media, pos, u.fallbackFrom, u.searchFrom, bytes, type, atCut);
        }
        if (e) {
            return {Sureness::Sure, *e - pos, false};
        }
        if (atCut) {
            return {Sureness::Likely, media.limit() - pos + 1, true};
        }
        // What follows is not known (damaged): the picture still ends where it decodes
        // exactly, which alone is weaker.
        e = media.nested() ? std::nullopt
                           : endBefore(media, pos, u.searchFrom, u.next, bytes, type, true);
        return e ? SampleGuess{Sureness::Likely, *e - pos, false} : SampleGuess{};
    }

    // A zero byte at e after the picture's last macroblock, before a cut: the picture's where
    // this encoder stuffs most pictures. Before raw sound, it is the sound's if the sound
    // reads as a signal from e (quiet sound begins with zero bytes), and the picture's if it
    // reads so from e + 1, or if neither tells and this encoder pads some pictures: sound
    // like noise begins with a zero byte once in 256 times.
    bool zeroIsPicture(MediaView& media, std::uint64_t e) const {
        constexpr double kMostly = 0.5;
        constexpr double kNoiseZero = 1.0 / 256;
        if (zeroEnds_ > kMostly) {
            return true;
        }
        const auto step = media.rawSoundStep(e);
        return step && (*step > 0 || (*step == 0 && zeroEnds_ > kNoiseZero));
    }

    // The first place in [from, to) where another track's sample starts (any place, up to a
    // cut) and the picture decodes exactly. Up to a cut every place costs a decode, so the
    // bytes decoded are bounded: a large picture before a partly written chunk may stay unfound.
    std::optional<std::uint64_t> endBefore(MediaView& media, std::uint64_t pos, std::uint64_t from,
                                           std::uint64_t to, const std::vector<std::uint8_t>& bytes,
                                           PictureType type, bool atCut) {
        const auto exact = [&](std::uint64_t e) {
            return judge_.judge(bytes.data(), static_cast<std::size_t>(e - pos), type) ==
                   WholeVerdict::Exact;
        };
        to = std::min(to, pos + maxPicture_);
        std::uint64_t decoded = 0;
        for (std::uint64_t e = from; e < to && decoded < kCutSearchBytes; ++e) {
            if (atCut) {
                decoded += e - pos;
            }
            if (atCut ? exact(e) : media.otherStartsAt(e) && exact(e)) {
                // Zero bytes after the last macroblock up to a cut: the picture's where
                // nothing but zeros follows, or as zeroIsPicture tells.
                const bool zerosToCut = std::all_of(
                    bytes.begin() + static_cast<std::ptrdiff_t>(std::min(e - pos, bytes.size())),
                    bytes.end(), [](std::uint8_t b) { return b == 0; });
                while (atCut && e + 1 < to && (zerosToCut || zeroIsPicture(media, e)) &&
                       exact(e + 1)) {
                    ++e;
                }
                return e;
            }
        }
        return std::nullopt;
    }

    MpegStandard standard_;
    double zeroEnds_ = 0; // the share of the reference's pictures that end in a zero byte
    std::uint64_t maxUnit_;
    std::uint64_t maxPicture_;
    MpegUnitReader units_;
    MpegJudge judge_;
    std::uint32_t frameDuration_;
    std::uint32_t timescale_;
    std::int64_t shownDelay_;
    MpegState state_;
    MpegCount count_;
    std::optional<Cached> last_; // of the last probe outside a nested one, for take
    std::vector<PictureOrder> pictures_;
};

// The decoder configuration of an mp4v entry, and which standard its object type is.
std::optional<EsConfig> mp4vConfig(const RefTrack& t) {
    const auto esds = entryBox(t, fourcc("esds"));
    return esds.size() > 4 ? parseEsConfig(esds.data() + 4, esds.size() - 4) : std::nullopt;
}

bool handles(const RefTrack& t) {
    if (!isVideoHandler(t.handler)) {
        return false;
    }
    if (t.codec == fourcc("mp4v")) {
        const auto es = mp4vConfig(t);
        return es && (es->objectType == 0x20 || isMpeg2ObjectType(es->objectType));
    }
    return isMpeg2Code(t.codec);
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    if (s.track.codec == fourcc("mp4v")) {
        const auto es = mp4vConfig(s.track);
        const bool part2 = es && es->objectType == 0x20;
        return std::make_unique<MpegVideo>(s, part2 ? MpegStandard::Mpeg4 : MpegStandard::Mpeg2,
                                           es ? es->specificInfo : std::vector<std::uint8_t>{});
    }
    return std::make_unique<MpegVideo>(s, MpegStandard::Mpeg2, std::vector<std::uint8_t>{});
}

} // namespace

extern const CodecFamily kMpegVideoFamily = {
    "MPEG video", "video",
    "MPEG-1/2: xdv* xd5* mx3*-mx5* hdv* m2v1 mp2v AVmp mp4v; MPEG-4 Visual: mp4v", handles, make};

} // namespace repair
