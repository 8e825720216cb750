#pragma once

#include "box/ByteSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace repair {

struct RefChunk {
    std::uint64_t offset = 0;
    std::uint32_t samples = 0;
};

// Fields of a sound sample description (QuickTime versions 0, 1 and 2, ISO AudioSampleEntry).
struct SoundInfo {
    int version = 0;
    int channels = 0;
    int bitsPerSample = 0;
    std::uint32_t bytesPerFrame = 0; // version 1 and 2 say it; 0 when not given
    std::uint32_t framesPerPacket = 0;
    std::uint32_t formatFlags = 0; // version 2
    double sampleRate = 0;
};

// A sample of the reference, for codecs that learn from real samples.
struct RefSample {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
};

// What the reference recording tells about one of its tracks. The boxes that the output
// keeps as they are come along as bytes.
struct RefTrack {
    std::size_t number = 0; // its place among the moov's tracks, from 1
    // Why the result goes without it ("" when it does not): such a track is still walked
    // over when its samples can be told, so that the others' chunks are found after its.
    std::string fault;
    std::uint32_t id = 0;
    std::uint32_t handler = 0; // 'vide', 'soun', 'meta', 'tmcd', ...
    std::uint32_t codec = 0;   // type of the first sample entry
    std::uint32_t timescale = 0;
    std::uint32_t sampleDuration = 0;  // the most common one
    std::uint32_t fixedSampleSize = 0; // stsz sample_size; 0 when sizes vary
    std::uint32_t maxSampleSize = 0;
    std::uint64_t sampleCount = 0;
    bool hasStss = false;
    std::vector<std::uint32_t> syncSamples; // 1-based
    std::vector<RefChunk> chunks;
    std::vector<RefSample> firstSamples; // a bounded number, for learning
    // Its samples are several tracks' bytes taken as one (a repair without a reference):
    // what they share tells nothing of where they end, so they lie between the others'.
    bool opaque = false;
    std::int64_t editMediaTime = -1; // -1: no edit list
    // When its first picture shown is shown, in sample durations: the writer's B-frame
    // delay. -1: no composition offsets.
    std::int64_t shownDelay = -1;
    // Where its stbl's payload lies in the moov box (offset 0: the moov's header); 0: none.
    std::uint64_t stblPayload = 0, stblEnd = 0;
    std::optional<SoundInfo> sound;
    // The decoder configuration of the first sample entry as its box holds it: the avcC or
    // hvcC payload of avc1/avc3/hvc1/hev1, the esds payload (after its version and flags) of
    // a sound track's mp4a; empty when there is none. Codec families read it themselves.
    std::vector<std::uint8_t> decoderConfig;

    // Boxes copied into the output: whole tkhd and mdhd (durations patched), the edit list,
    // the other children of trak (tref, udta, ...), of mdia (hdlr, ...) and of minf (media
    // header, dinf, ...) in their order, and the sample descriptions.
    std::vector<std::uint8_t> tkhd, mdhd, elst, stsd;
    std::vector<std::vector<std::uint8_t>> trakBefore, trakAfter, mdiaOther, minfOther;
};

// A track of the reference that the repair goes on without, and why.
struct LeftOut {
    std::size_t number = 0;
    std::uint32_t handler = 0, codec = 0;
    std::string reason; // "its media timescale is 0"
};

struct Reference {
    std::uint32_t movieTimescale = 1000;
    std::uint64_t moovOffset = 0; // where the moov box starts in the file
    std::vector<std::uint8_t> ftyp, mvhd;
    std::vector<std::vector<std::uint8_t>> moovOther; // iods, udta, meta, ...
    std::vector<RefTrack> tracks;                     // in the order of the moov
    std::vector<LeftOut> leftOut;                     // every track with a fault
    // What of the moov was not taken as it is: boxes not copied, headers mended.
    std::vector<std::string> notes;
};

bool isVideoHandler(std::uint32_t handler);

// "track 2 (sound, mp4a)": a track as the messages about the reference name it.
std::string trackName(std::size_t number, std::uint32_t handler, std::uint32_t codec);
// Gives tracks[index] its fault, unless it has one.
void leaveOut(Reference& ref, std::size_t index, std::string reason);
// Lists the tracks with a fault in leftOut, and drops those the walk cannot use.
template <typename Walkable> void settleLeftOut(Reference& ref, Walkable walkable) {
    for (auto t = ref.tracks.begin(); t != ref.tracks.end();) {
        if (!t->fault.empty()) {
            ref.leftOut.push_back({t->number, t->handler, t->codec, t->fault});
        }
        t = t->fault.empty() || walkable(*t) ? t + 1 : ref.tracks.erase(t);
    }
}
// "track 2 (sound, mp4a) of the reference is left out: its media timescale is 0"
std::string leftOutLine(const LeftOut& t);

// Reads the reference file (or a fast-start file's own index); throws RepairError with a
// one-line reason when it cannot serve. Tracks whose headers do not read are left out;
// boxes without a known purpose or beyond the limits of a recording are not kept.
Reference readReference(const ByteSource& file);

// The bytes of [offset, end), or nothing when that is more than maxBytes.
std::vector<std::uint8_t> loadBox(const ByteSource& file, std::uint64_t offset, std::uint64_t end,
                                  std::size_t maxBytes);

} // namespace repair
