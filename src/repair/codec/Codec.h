#pragma once

#include "codec/MediaView.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace repair {

struct RefTrack;
class ByteSource;

// How sure a codec is that one of its samples starts at a position.
enum class Sureness : std::uint8_t { No = 0, Maybe = 1, Likely = 2, Sure = 3 };

struct SampleGuess {
    Sureness sure = Sureness::No;
    std::uint64_t size = 0; // bytes of the sample, when known
    bool cut = false;       // it starts here but runs past the end of the media data
};

// What taking a sample tells the track's tables.
struct SampleFacts {
    bool sync = true;
};

// The walk's side of a probe. The walk keeps the answers: it asks a codec about a place
// once, and again only after another question has taken the place of that answer, so
// codecs keep no answers of their own. A codec that finds more of its samples in one go (a
// run of frames) hands them over here, and is not asked about those places again. Answers
// given while the walk answers another codec's question (MediaView::nested) are not kept.
class ProbeNotes {
public:
    // A sample of mine that a probe found on its way, after the place it was asked about.
    virtual void found(std::uint64_t pos, const SampleGuess& guess) = 0;

protected:
    ~ProbeNotes() = default;
};

// One track's sample recogniser. The walker asks it where its samples start and how long
// they are; it never needs to know which codec it talks to.
class Codec {
public:
    virtual ~Codec() = default;

    // Could a sample of mine start at pos? How long is it, how sure am I?
    virtual SampleGuess probe(MediaView& media, std::uint64_t pos, ProbeNotes& notes) = 0;

    // The sample at [pos, pos + size) belongs to this track: learn from it.
    virtual SampleFacts take(MediaView& media, std::uint64_t pos, std::uint64_t size) {
        (void)media;
        (void)pos;
        (void)size;
        return {};
    }

    // Bytes of every sample, when all are alike in size; 0 when they vary.
    virtual std::uint32_t fixedSize() const { return 0; }

    // True when its bytes cannot be told from any other (raw PCM, bare counters): only the
    // reference's chunk layout can place such a track's chunks.
    virtual bool headerless() const { return false; }

    // Raw sound: how far its samples move from one to the next, against how far from
    // silence, read from pos on. A recorded signal moves least read in step with its
    // frames. Nothing when the codec cannot say (compressed, or too few bytes).
    virtual std::optional<double> restlessnessAt(MediaView& media, std::uint64_t pos) {
        (void)media;
        (void)pos;
        return std::nullopt;
    }

    // The most a probe of this codec can say. Only tracks that can be Sure serve to find
    // the media again after damage.
    virtual Sureness mostSure() const { return headerless() ? Sureness::Maybe : Sureness::Sure; }

    // A first look for scans over bytes that may hold nothing of mine: the first index in
    // [0, n) where one of my samples could start, judged by data[0, n) alone (an index whose
    // look needs bytes past n counts as one); n when there is none. Only where it points is
    // probe asked, so it must rule out most bytes at a glance and never a real sample.
    virtual std::size_t nextCandidate(const std::uint8_t* data, std::size_t n) const {
        (void)data;
        return n > 0 ? 0 : n;
    }

    // Composition offsets of the samples taken, in units of the sample duration; empty when
    // samples are shown in decode order.
    virtual std::vector<std::uint32_t> compositionOffsets() const { return {}; }

    // Damage took samples away right before the sample at pos, the next one to be taken:
    // the counts of samples lost, up to `upTo`, that the stream's own counters allow
    // (picture order within its period), rising; empty when they do not tell.
    virtual std::vector<std::uint64_t> lostBefore(MediaView& media, std::uint64_t pos,
                                                  std::uint64_t upTo) {
        (void)media;
        (void)pos;
        (void)upTo;
        return {};
    }

    // Whether a sample at pos can be the very next one of the stream, nothing lost since the
    // last one taken, as far as the stream's own counters tell; true when they cannot.
    virtual bool continuesAt(MediaView& media, std::uint64_t pos) {
        (void)media;
        (void)pos;
        return true;
    }

    // The samples the last damage took, once a sample taken after it tells the count
    // exactly (a time code counting pictures); nullopt until then, and after telling it.
    virtual std::optional<std::uint64_t> settledLoss() { return std::nullopt; }

    // A line for the verbose description of the reference.
    virtual std::string describe() const = 0;
};

// What a codec family is given to set up a recogniser for one track.
struct CodecSetup {
    const RefTrack& track;
    const ByteSource& reference; // to learn from the reference's own samples
    int videoLevel = 12;         // --h264alg
    int aacLowGain = 80;         // --aacgg
};

// One entry per codec family: what --help and README.md call it, whether it handles a
// reference track, and how to make its recogniser. The list of families lives in Registry.cpp.
struct CodecFamily {
    const char* name;    // as people know it: "H.264", "Motion JPEG"
    const char* kind;    // "video", "sound" or "data"
    const char* entries; // the sample entry types it reads, in words
    bool (*handles)(const RefTrack& track);
    std::unique_ptr<Codec> (*make)(const CodecSetup& setup);
};

// The first family that handles the track, or nullptr.
const CodecFamily* familyFor(const RefTrack& track);

// Every family, in the order tracks are offered to them.
std::span<const CodecFamily* const> codecFamilies();

} // namespace repair
