// Motion JPEG (jpeg, mjpa, AVDJ, dmb1, mjpb). A sample is one image from start-of-image to
// end-of-image marker, or two for cameras that store fields; Motion JPEG A says in an APP1
// 'mjpg' header how long a field is padded and where the next one starts, and Motion JPEG B
// has only that header and no markers. libavcodec's MJPEG parser only splits a stream at
// markers, so the marker walk (JpegScan) is our own. Every frame is a sync sample.
#include "box/Box.h"
#include "box/Endian.h"
#include "box/Reference.h"
#include "codec/Codec.h"
#include "codec/EntryFields.h"
#include "codec/JpegScan.h"

#include <algorithm>
#include <optional>

namespace repair {
namespace {

constexpr std::uint32_t kCodes[] = {fourcc("jpeg"), fourcc("mjpa"), fourcc("AVDJ"), fourcc("dmb1"),
                                    fourcc("mjpb")};
constexpr std::size_t kLearnSamples = 8;
constexpr std::uint64_t kMinImage = 1u << 20;
constexpr std::uint64_t kMaxImage = 64u << 20;
// Padding after an image that the reference shows padded, at most.
constexpr std::uint64_t kMaxPadding = 4096;

struct Shape {
    int fields = 1;
    bool padded = false;
};

class Jpeg : public Codec {
public:
    Jpeg(const CodecSetup& s)
        : code_(s.track.codec), picture_(pictureSize(s.track)),
          maxImage_(std::clamp<std::uint64_t>(std::uint64_t{s.track.maxSampleSize} * 4, kMinImage,
                                              kMaxImage)) {
        learn(s);
    }

    SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& /*notes*/) override {
        return markerless() ? fieldsB(media, pos) : images(media, pos);
    }

    std::string describe() const override {
        std::string s = "Motion JPEG '" + typeName(code_) + "'";
        if (picture_) {
            s += ", " + std::to_string(picture_->width) + "x" + std::to_string(picture_->height);
        }
        return s + ", " + std::to_string(shape_.fields) + " image(s) a sample" +
               (shape_.padded ? ", padded" : "") + ", every frame a sync sample";
    }

private:
    bool markerless() const { return code_ == fourcc("mjpb"); }

    bool sizeFits(int width, int height) const {
        if (!picture_ || width == 0) {
            return true;
        }
        const int h = picture_->height;
        return width == picture_->width && (height == h || height == (h + 1) / 2 || height == 0);
    }

    SampleGuess images(MediaView& media, std::uint64_t pos) const {
        if (media.nested()) {
            // Only the headers while another codec asks: sound headers and the picture size.
            const JpegImage img = scanJpeg(media, pos, media.limit(), maxImage_, true);
            const bool fits =
                img.result == JpegImage::Result::Whole && sizeFits(img.width, img.height);
            return fits ? SampleGuess{Sureness::Sure, 0, false} : SampleGuess{};
        }
        std::uint64_t at = pos;
        for (int field = 0; field < shape_.fields; ++field) {
            if (field > 0) {
                at = skipPadding(media, at, false);
            }
            const JpegImage img = scanJpeg(media, at, media.limit(), maxImage_);
            if (img.result == JpegImage::Result::No || !sizeFits(img.width, img.height)) {
                return {};
            }
            if (img.result == JpegImage::Result::Cut) {
                // Cut before its frame header, an image start says less.
                const Sureness sure = img.width > 0 ? Sureness::Sure : Sureness::Likely;
                return {sure, media.limit() - pos + 1, true};
            }
            const std::uint64_t padded = at + img.paddedSize;
            at = img.paddedSize > 0 && padded >= img.end ? padded : img.end;
        }
        if (at > media.limit()) {
            return {Sureness::Sure, at - pos, true};
        }
        return {Sureness::Sure, skipPadding(media, at, true) - pos, false};
    }

    // Where the next sample may start after an image that ends at `at`: right there, or,
    // when the reference pads its images, after zero or 0xFF bytes.
    std::uint64_t skipPadding(MediaView& media, std::uint64_t at, bool last) const {
        if (!shape_.padded) {
            return at;
        }
        std::uint8_t b[kMaxPadding + 2];
        const std::size_t n = media.read(at, b, sizeof b);
        for (std::size_t i = 0; i + 1 < n; ++i) {
            if ((b[i] == 0xFF && b[i + 1] == 0xD8) || (last && media.otherStartsAt(at + i))) {
                return at + i;
            }
            if (b[i] != 0 && b[i] != 0xFF) {
                return at; // not padding after all
            }
        }
        return at + n == media.limit() ? media.limit() : at;
    }

    SampleGuess fieldsB(MediaView& media, std::uint64_t pos) const {
        const MjpegBField first = readMjpegBField(media, pos, media.limit());
        if (!first.valid || !sizeFits(first.width, first.height)) {
            return {};
        }
        std::uint64_t end = pos + first.paddedSize;
        if (shape_.fields == 2 && first.nextField != 0) {
            const MjpegBField second = readMjpegBField(media, pos + first.nextField, media.limit());
            if (!second.valid && pos + first.nextField + 8 <= media.limit()) {
                return {};
            }
            end = pos + first.nextField + (second.valid ? second.paddedSize : 0);
            if (!second.valid) {
                return {Sureness::Sure, media.limit() - pos + 1, true};
            }
        }
        return {Sureness::Sure, end - pos, end > media.limit()};
    }

    // How the reference's own samples are made: images a sample, padding after them.
    void learn(const CodecSetup& s) {
        const auto& samples = s.track.firstSamples;
        for (std::size_t i = 0; i < std::min(samples.size(), kLearnSamples); ++i) {
            const std::uint64_t begin = samples[i].offset;
            const std::uint64_t end = begin + samples[i].size;
            if (markerless()) {
                const MjpegBField f = readMjpegBField(s.reference, begin, end);
                shape_.fields = std::max(shape_.fields, f.valid && f.nextField != 0 ? 2 : 1);
                continue;
            }
            int images = 0;
            std::uint64_t at = begin;
            while (images < 2 && at < end) {
                const JpegImage img = scanJpeg(s.reference, at, end, maxImage_);
                if (img.result != JpegImage::Result::Whole) {
                    break;
                }
                ++images;
                at = img.end;
                while (at < end && images < 2) {
                    std::uint8_t b[2] = {};
                    if (s.reference.read(at, b, 2) != 2 || (b[0] == 0xFF && b[1] == 0xD8)) {
                        break;
                    }
                    shape_.padded = true;
                    ++at;
                }
            }
            shape_.fields = std::max(shape_.fields, images);
            shape_.padded = shape_.padded || (images > 0 && at < end);
        }
    }

    std::uint32_t code_;
    std::optional<PictureSize> picture_;
    std::uint64_t maxImage_;
    Shape shape_;
};

bool handles(const RefTrack& t) {
    return isVideoHandler(t.handler) &&
           std::find(std::begin(kCodes), std::end(kCodes), t.codec) != std::end(kCodes);
}

std::unique_ptr<Codec> make(const CodecSetup& s) {
    return std::make_unique<Jpeg>(s);
}

} // namespace

extern const CodecFamily kJpegFamily = {"Motion JPEG", "video", "jpeg mjpa mjpb AVDJ dmb1", handles,
                                        make};

} // namespace repair
