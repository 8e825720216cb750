// The codec families, most specific first: a track goes to the first that handles it.
#include "codec/Codec.h"

namespace repair {

extern const CodecFamily kH264Family;
extern const CodecFamily kHevcFamily;
extern const CodecFamily kProResFamily;
extern const CodecFamily kJpegFamily;
extern const CodecFamily kDvFamily;
extern const CodecFamily kMpegVideoFamily;
extern const CodecFamily kAc3Family;
extern const CodecFamily kAacFamily;
extern const CodecFamily kAlacFamily;
extern const CodecFamily kLpcmFamily;
extern const CodecFamily kTimecodeFamily;
extern const CodecFamily kFixedSizeFamily;
extern const CodecFamily kLearntSizeFamily;

namespace {

const CodecFamily* const kFamilies[] = {
    &kH264Family,      &kHevcFamily,      &kProResFamily,     &kJpegFamily, &kDvFamily,
    &kMpegVideoFamily, &kAc3Family,       &kAacFamily,        &kAlacFamily, &kLpcmFamily,
    &kTimecodeFamily,  &kFixedSizeFamily, &kLearntSizeFamily,
};

} // namespace

std::span<const CodecFamily* const> codecFamilies() {
    return kFamilies;
}

const CodecFamily* familyFor(const RefTrack& track) {
    for (const CodecFamily* f : kFamilies) {
        if (f->handles(track)) {
            return f;
        }
    }
    return nullptr;
}

} // namespace repair
