#pragma once

#include "MiniMoov.h"
#include "Truth.h"

#include <cstdint>
#include <string>
#include <vector>

// A camera that preallocates its file and loses power: the media up to the cut, then zeros
// up to the length it had planned.

// Where the recording was cut.
enum class TailCut {
    MidSample,      // in the middle of a video sample
    BetweenSamples, // where one sample ends and the next of the same chunk starts
    AfterSilence,   // at the end of a sound chunk, raw sound silent from the chunk before
    BeforeSound,    // where a sound chunk starts
    AfterData,      // at the end of a metadata chunk (its samples may be padded with zeros)
};

struct ZeroTail {
    double planned = 0; // the planned length, times the original's size; 0: no zero tail
    double where = 0;   // near where the cut falls, as a fraction of the mdat payload
    TailCut at = TailCut::MidSample;
    bool sized = false; // the mdat box says it runs up to the planned length
};

// The offset of the cut.
std::uint64_t tailCutPoint(const camlayout::Truth& t, const ZeroTail& tail);

// Raw sound (LPCM) made silent from the middle of the last sound chunk but one before `cut`
// up to the cut. False when the kind has no raw sound.
bool silenceBefore(const camlayout::Truth& t, std::uint64_t cut, std::string& bytes);

// Cuts `bytes` at `cut` and fills them with zeros up to the planned length.
void appendZeroTail(const camlayout::Truth& t, const ZeroTail& tail, std::uint64_t cut,
                    std::string& bytes);

// A sample of the repaired file that holds bytes from `cut` on in the broken file (whose media
// data starts at `mediaBegin`), described; empty when there is none.
std::string sampleInTail(const std::vector<TableTrack>& tables, const std::string& result,
                         std::uint64_t mediaBegin, std::uint64_t cut);
