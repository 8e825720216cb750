// QuickTime timecode (tmcd): usually one small sample, the frame number where the
// recording starts. Nothing marks it; the chunk layout says where it lies.
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"

namespace repair {
namespace {

class Timecode : public Codec {
public:
    explicit Timecode(std::uint32_t size) : size_(size < 64 ? size : 4) {}

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        return {Sureness::Maybe, size_, pos + size_ > media.limit()};
    }
    std::uint32_t fixedSize() const override { return size_; }
    bool headerless() const override { return true; }
    std::string describe() const override {
        return "timecode, " + std::to_string(size_) + " bytes a sample";
    }

private:
    std::uint32_t size_;
};

bool handles(const RefTrack& t) {
    return t.codec == fourcc("tmcd");
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    const std::uint32_t size = s.track.fixedSampleSize != 0 ? s.track.fixedSampleSize
                               : s.track.maxSampleSize != 0 ? s.track.maxSampleSize
                                                            : 4;
    return std::make_unique<Timecode>(size);
}

} // namespace

extern const CodecFamily kTimecodeFamily = {"timecode", "data", "tmcd", handles, make};

} // namespace repair
