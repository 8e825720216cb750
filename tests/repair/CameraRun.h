#pragma once

#include "CameraScore.h"
#include "Check.h"
#include "Layout.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// What the camera test programs share: recordings laid out the way a kind of camera writes
// them, the floor a repair must reach, and the loop over the kinds.

constexpr double kFloor = 0.99; // of the samples complete and undamaged, per track and case

// Makes content with Debian's ffmpeg and lays it out at `path` as kind `k` does; false, with
// the reason on standard error, when either step fails.
bool layOutRecording(const camlayout::CameraKind& k, const camlayout::ContentLook& look,
                     const camlayout::LayoutOptions& options, const std::string& path,
                     camlayout::Truth& truth);
// Content other than the broken recording's, for a reference.
camlayout::ContentLook referenceLook(double seconds = 2);

// The chunk whose start lies nearest to `target`: of the track with this handler, or, with
// no handler, any chunk but the first (a chunk boundary inside the media). Null when none.
const camlayout::TruthChunk* nearestChunk(const camlayout::Truth& t, std::uint64_t target,
                                          const char* handler);
// A cut in the middle of that chunk, or with no handler at its start; 0 when there is none.
std::uint64_t chunkCut(const camlayout::Truth& t, std::uint64_t target, const char* handler);
// Where the recording's last video chunk ends.
std::uint64_t afterLastVideoChunk(const camlayout::Truth& t);
// The offset `share` of the way through the mdat payload.
std::uint64_t mdatAt(const camlayout::Truth& t, double share);

std::string label(const camlayout::TruthTrack& t); // "1 vide avc1"
std::string figure(const TrackScore& s);           // "98/99 (99.0%)"
bool aboveFloor(const TrackScore& s);

class CameraRun {
public:
    CameraRun(Checks& c, std::string dir) : c_(c), dir_(std::move(dir)) {}
    virtual ~CameraRun() = default;
    virtual void kind(const camlayout::CameraKind& k) = 0;

protected:
    Checks& c_;
    std::string dir_;
    camlayout::Truth truth_;
};

using MakeRun = std::function<std::unique_ptr<CameraRun>(Checks&, const std::string& dir)>;

// Runs each kind the arguments name; with "--part K/N" every N-th of `kinds` from the K-th on;
// with none, all of `kinds` (empty: every kind of the table). Returns the exit status.
int runCameraKinds(int argc, char** argv, const char* prefix, std::vector<std::string> kinds,
                   const MakeRun& make);
template <class R>
int runCameraKinds(int argc, char** argv, const char* prefix, std::vector<std::string> kinds = {}) {
    return runCameraKinds(argc, argv, prefix, std::move(kinds),
                          [](Checks& c, const std::string& dir) -> std::unique_ptr<CameraRun> {
                              return std::make_unique<R>(c, dir);
                          });
}
