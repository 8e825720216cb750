// Data samples of one fixed size (per-frame camera metadata such as rtmd, fdsc): known by
// the bytes every sample shares, or, when they share none, placed by the chunk layout.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"
#include "codec/Signature.h"

namespace repair {
namespace {

class FixedSize : public Codec {
public:
    FixedSize(std::uint32_t size, Signature sig) : size_(size), sig_(std::move(sig)) {}

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        const bool cut = pos + size_ > media.limit();
        if (headerless()) {
            return {Sureness::Maybe, size_, cut};
        }
        std::uint8_t head[64];
        const std::size_t n = media.read(pos, head, sig_.span());
        if (!sig_.matches(head, n)) {
            return {};
        }
        return {sig_.strength(), size_, cut};
    }
    std::uint32_t fixedSize() const override { return size_; }
    bool headerless() const override { return sig_.strength() == Sureness::No; }
    Sureness mostSure() const override { return headerless() ? Sureness::Maybe : sig_.strength(); }
    std::string describe() const override {
        return "data, " + std::to_string(size_) + " bytes a sample, " + sig_.describe();
    }

private:
    std::uint32_t size_;
    Signature sig_;
};

// Sound is for the sound families: a format none of them knows is unsupported, not data.
bool handles(const RefTrack& t) {
    return !isVideoHandler(t.handler) && t.handler != fourcc("soun") && t.fixedSampleSize > 0;
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return std::make_unique<FixedSize>(s.track.fixedSampleSize,
                                       Signature::learn(s.reference, s.track.firstSamples));
}

} // namespace

extern const CodecFamily kFixedSizeFamily = {
    "fixed-size data", "data",
    "any data of one sample size (rtmd, fdsc and other per-frame metadata)", handles, make};

} // namespace repair
