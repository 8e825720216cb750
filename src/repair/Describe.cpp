#include "Describe.h"

#include "Box.h"

#include <ostream>

namespace repair {
namespace {

void describeTrack(const char* kind, const RefTrack& t, std::ostream& out) {
    out << kind << " track: " << typeName(t.codec) << ", timescale " << t.timescale
        << ", sample duration " << t.sampleDuration << ", " << t.sampleCount << " samples (largest "
        << t.maxSampleSize << " bytes), " << t.chunks.size() << " chunks\n";
}

} // namespace

void describeReference(const Reference& ref, std::ostream& out) {
    describeTrack("reference video", *ref.video, out);
    out << "  NAL length size " << ref.video->avc->lengthSize << ", "
        << ref.video->syncSamples.size() << " sync samples\n";
    if (ref.audio) {
        describeTrack("reference audio", *ref.audio, out);
        out << "  AAC object type " << ref.audio->aac->objectType << ", "
            << ref.audio->aac->sampleRate << " Hz, " << ref.audio->aac->channels << " channel(s)\n";
    } else {
        out << "reference audio track: none (or not AAC)\n";
    }
}

void describeWalk(const WalkResult& walk, const MediaData& media, bool verbose, std::ostream& out) {
    out << "recovered " << walk.videoCount << " video and " << walk.audioCount
        << " audio samples\n";
    out << "stopped at byte " << walk.stoppedAt << " of " << media.end << ": " << walk.stopReason
        << "\n";
    if (verbose) {
        out << "skipped " << walk.skippedBytes << " unrecognised bytes in " << walk.resyncs
            << " place(s); interleave hint decided " << walk.hintedSamples << " sample(s)\n";
    }
}

} // namespace repair
