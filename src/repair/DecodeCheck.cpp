#include "DecodeCheck.h"

#include "box/Box.h"
#include "box/Endian.h"
#include "box/RepairError.h"
#include "codec/AvDecoder.h"
#include "codec/DecoderSetup.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace repair {
namespace {

// Sound frames checked at either end of a track.
constexpr std::uint64_t kSoundFrames = 3;
// Samples larger than this are not read for the check.
constexpr std::uint32_t kMaxChecked = 32u << 20;

// Where sample n (1-based) of what the walk found lies in the broken file.
std::optional<RefSample> locate(const RecoveredTrack& r, std::uint64_t n) {
    std::uint64_t first = 1; // the number of the chunk's first sample
    for (const auto& c : r.chunks) {
        if (n < first + c.samples) {
            RefSample s{c.offset, r.fixedSize};
            for (std::uint64_t k = first; k <= n; ++k) {
                const std::uint32_t size = r.fixedSize ? r.fixedSize : r.sizes.at(k - 1);
                s.offset += k < n ? size : 0;
                s.size = size;
            }
            return s;
        }
        first += c.samples;
    }
    return std::nullopt;
}

// The samples to decode: a video track's first and last keyframes, a few sound frames at
// either end.
std::vector<std::uint64_t> chosen(const RefTrack& t, const RecoveredTrack& r) {
    std::vector<std::uint64_t> n;
    if (isVideoHandler(t.handler)) {
        if (!r.syncSamples.empty()) {
            n = {r.syncSamples.front(), r.syncSamples.back()};
        }
    } else {
        for (std::uint64_t k = 1; k <= std::min(kSoundFrames, r.samples); ++k) {
            n.push_back(k);
            n.push_back(r.samples + 1 - k);
        }
    }
    std::sort(n.begin(), n.end());
    n.erase(std::unique(n.begin(), n.end()), n.end());
    return n;
}

std::vector<std::uint8_t> readSample(const ByteSource& file, const RefSample& s) {
    return s.size <= kMaxChecked ? file.bytes(s.offset, s.size) : std::vector<std::uint8_t>{};
}

std::string kindOf(const RefTrack& t) {
    return isVideoHandler(t.handler)     ? "video"
           : t.handler == fourcc("soun") ? "sound"
                                         : typeName(t.handler);
}

// What the parameter sets a NAL video sample carries itself describe; empty when it
// carries none (or is of another codec).
std::string ownLooks(const DecoderSetup& setup, const std::vector<std::uint8_t>& sample) {
    if (setup.nalLengthSize == 0) {
        return {};
    }
    AvDecoder own(setup.codecId, {});
    const auto annexB = withStartCodes(sample, setup.nalLengthSize);
    return own.decodeAlone(annexB.data(), annexB.size()) ? own.looks() : std::string{};
}

// The one line that says why the reference does not fit: what the broken file's own
// parameter sets describe, when its samples carry any, against what the reference's do.
RepairError mismatch(const RefTrack& t, const std::string& theirs, const std::string& ours) {
    const std::string what = "the broken file's " + kindOf(t);
    const std::string refs = ours.empty() ? typeName(t.codec) : ours + " " + typeName(t.codec);
    if (!theirs.empty()) {
        return {ExitCode::Mismatch,
                what + " does not match the reference's: " + theirs + " against " + refs + "?"};
    }
    return {ExitCode::Mismatch,
            what + " does not decode with the reference's sample description (" + refs + ")"};
}

// Pictures whose own parameter sets describe another picture than the reference's
// sample description would make a file that tells players the wrong picture.
void checkOwnParams(const RefTrack& t, const DecoderSetup& setup, const ByteSource& refFile,
                    const std::vector<std::uint8_t>& sample) {
    const std::string theirs = ownLooks(setup, sample);
    if (theirs.empty()) {
        return;
    }
    const std::string ours = refLooks(t, setup, refFile);
    if (!ours.empty() && ours != theirs) {
        throw mismatch(t, theirs, ours);
    }
}

} // namespace

std::string refLooks(const RefTrack& t, const DecoderSetup& setup, const ByteSource& refFile) {
    if (t.firstSamples.empty()) {
        return {};
    }
    AvDecoder ref(setup.codecId, setup.extradata);
    const auto b = readSample(refFile, t.firstSamples.front());
    return ref.decodeAlone(b.data(), b.size()) ? ref.looks() : std::string{};
}

std::string checkDecodes(const Reference& ref, const ByteSource& refFile, const WalkResult& walk,
                         const ByteSource& broken) {
    std::string partly;
    for (std::size_t i = 0; i < walk.tracks.size() && i < ref.tracks.size(); ++i) {
        const RefTrack& t = ref.tracks[i];
        const auto setup = decoderSetup(t);
        if (!setup) {
            continue;
        }
        AvDecoder decoder(setup->codecId, setup->extradata);
        if (!decoder.ok()) {
            continue; // no decoder for it in this libavcodec
        }
        int bad = 0;
        std::vector<std::uint8_t> first;
        const auto numbers = chosen(t, walk.tracks[i]);
        for (std::uint64_t n : numbers) {
            const auto at = locate(walk.tracks[i], n);
            auto bytes = at ? readSample(broken, *at) : std::vector<std::uint8_t>{};
            bad += decoder.decodeAlone(bytes.data(), bytes.size()) ? 0 : 1;
            if (first.empty()) {
                first = std::move(bytes);
            }
        }
        if (bad > 0 && bad == static_cast<int>(numbers.size())) {
            throw mismatch(t, ownLooks(*setup, first), refLooks(t, *setup, refFile));
        }
        if (!first.empty()) {
            checkOwnParams(t, *setup, refFile, first);
        }
        if (bad > 0 && partly.empty()) {
            partly = "track " + std::to_string(i + 1) + " (" + kindOf(t) +
                     "): " + std::to_string(bad) + " of " + std::to_string(numbers.size()) +
                     " samples checked at its ends do not decode";
        }
    }
    return partly;
}

} // namespace repair
