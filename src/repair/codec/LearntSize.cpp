// Data samples of varying size (gpmd, djmd, mebx and other timed metadata): the length is
// read the way the reference's own samples show it is written (SampleGrammar); failing
// that, the sizes the reference used are tried and the one that something follows wins.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"
#include "codec/SampleGrammar.h"
#include "codec/Signature.h"

#include <algorithm>
#include <map>

namespace repair {
namespace {

constexpr std::size_t kMaxSizes = 16;

class LearntSize : public Codec {
public:
    LearntSize(const CodecSetup& s)
        : sig_(Signature::learn(s.reference, learnFrom(s.track))),
          grammar_(SampleGrammar::learn(s.reference, learnFrom(s.track), s.track.maxSampleSize)) {
        std::map<std::uint32_t, int> counts;
        for (const auto& sample : s.track.firstSamples) {
            ++counts[sample.size];
        }
        for (const auto& [size, n] : counts) {
            sizes_.push_back(size);
        }
        std::stable_sort(sizes_.begin(), sizes_.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return counts[a] > counts[b]; });
        sizes_.resize(std::min(sizes_.size(), kMaxSizes));
    }

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        const bool signed_ = sig_.strength() != Sureness::No;
        if (structural()) {
            return proves(media, pos);
        }
        if (signed_ && !signatureAt(media, pos)) {
            return {};
        }
        if (grammar_.kind() != SampleGrammar::Kind::None) {
            const auto len = grammar_.length(media, pos);
            if (!len) {
                return cutGuess(media, pos);
            }
            return {signed_ ? Sureness::Sure : Sureness::Likely, *len,
                    media.cutsOff(pos + *len, *len)};
        }
        for (std::uint32_t size : sizes_) {
            const std::uint64_t next = pos + size;
            if (next == media.limit() ||
                (next < media.limit() && (signatureAt(media, next) || media.otherStartsAt(next)))) {
                return {signed_ ? sig_.strength() : Sureness::Maybe, size, false};
            }
        }
        return cutGuess(media, pos);
    }

    bool headerless() const override {
        return sig_.strength() == Sureness::No && grammar_.kind() == SampleGrammar::Kind::None;
    }
    Sureness mostSure() const override {
        return structural() || (sig_.strength() == Sureness::Sure &&
                                grammar_.kind() != SampleGrammar::Kind::None)
                   ? Sureness::Sure
                   : Sureness::Likely;
    }
    std::string describe() const override {
        return "data, " + grammar_.describe() + ", " + sig_.describe();
    }

private:
    static std::vector<RefSample> learnFrom(const RefTrack& t) {
        return t.opaque ? std::vector<RefSample>{} : t.firstSamples;
    }

    // Protobuf samples prove themselves by their lengths; their leading bytes are no
    // signature, as varints grow with the counters in them.
    bool structural() const { return grammar_.kind() == SampleGrammar::Kind::Protobuf; }

    SampleGuess proves(MediaView& media, std::uint64_t pos) const {
        const auto len = grammar_.length(media, pos);
        if (!len) {
            return {};
        }
        if (pos + *len > media.limit()) {
            return media.endIsCut() && grammar_.opens(media, pos)
                       ? SampleGuess{Sureness::Likely, *len, true}
                       : SampleGuess{};
        }
        return grammar_.accounts(media, pos, *len) ? SampleGuess{Sureness::Sure, *len, false}
                                                   : SampleGuess{};
    }

    bool signatureAt(MediaView& media, std::uint64_t pos) const {
        if (sig_.strength() == Sureness::No) {
            return false;
        }
        std::uint8_t head[64];
        return sig_.matches(head, media.read(pos, head, sig_.span()));
    }

    // Near a cut the rest of a sample may be missing: say so when its start fits.
    SampleGuess cutGuess(MediaView& media, std::uint64_t pos) const {
        const std::uint32_t largest =
            sizes_.empty() ? 0 : *std::max_element(sizes_.begin(), sizes_.end());
        if (media.endIsCut() && pos + largest * 2ull > media.limit() && signatureAt(media, pos)) {
            return {Sureness::Likely, media.limit() - pos + 1, true};
        }
        return {};
    }

    Signature sig_;
    SampleGrammar grammar_;
    std::vector<std::uint32_t> sizes_;
};

// Sound is for the sound families: a format none of them knows is unsupported, not data.
bool handles(const RefTrack& t) {
    return !isVideoHandler(t.handler) && t.handler != fourcc("soun") && t.fixedSampleSize == 0 &&
           !t.firstSamples.empty();
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return std::make_unique<LearntSize>(s);
}

} // namespace

extern const CodecFamily kLearntSizeFamily = {
    "learnt-size data", "data",
    "any data of varying sample size (gpmd, djmd, mebx and other timed metadata)", handles, make};

} // namespace repair
