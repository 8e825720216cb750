#pragma once

#include "CameraScore.h"
#include "Truth.h"
#include "ZeroTail.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Broken files worse than a cut, made from a camera layout's recording: what each damage case
// does to the media data, and how much of the recording it leaves unrecoverable.

enum class Damage {
    CutOnly,
    NoHead,
    ZeroHead,
    NoiseHead,
    ZerosInside,
    NoiseInside,
    TwoMdats,
    SmallMdat,
    ZerosInChunk,  // the middle `share` of one chunk of a track: no other track is hit
    NoiseInChunk,  // the same with random bytes
    ZerosToNextOf, // from the middle of one chunk of a track to the middle of its next one
    TrackGone,     // every chunk of a track zeroed from `where` on: the result cannot be whole
    FirstOfChunk,  // the first sample of one chunk of a track (a keyframe, where chunks open so)
};

struct DamageCase {
    const char* name;
    Damage kind;
    double where = 0;              // fraction of the mdat payload
    std::uint64_t size = 0;        // bytes damaged or removed
    const char* handler = nullptr; // the track whose chunk is damaged
    double share = 0;              // of that chunk's bytes
    ZeroTail tail = {};            // then cut and filled with zeros up to a planned length
};

std::span<const DamageCase> damageCases();

// Media split or bounded by boxes, or a zero tail after the cut: every sample comes back.
bool nothingDamaged(const DamageCase& d);
// Whether the recording has a raw (LPCM) track with this handler.
bool rawTrack(const camlayout::Truth& t, const char* handler);
// The broken file made from `original` by case d, and what of the original it still holds.
std::string damaged(const camlayout::Truth& t, const std::string& original, const DamageCase& d,
                    Kept& kept);
// Bytes of the media that did not come back at all: what damage overwrote, with the rest
// of the samples it hit (unless they came back as they are now), and complete samples
// outside it that are missing. 1 % or more of the media lost is not a whole repair.
double lostShare(const camlayout::Truth& t, const DamageCase& d, const Kept& kept,
                 const std::vector<TrackScore>& scores);
