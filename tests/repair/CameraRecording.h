#pragma once

#include "Layout.h"

#include <string>

// Makes content with Debian's ffmpeg and lays it out at `path` as kind `k` does; false, with
// the reason on standard error, when either step fails.
// The chunk whose start lies nearest to `target`: of the track with this handler, or, with
// no handler, any chunk but the first (a chunk boundary inside the media). Null when none.
const camlayout::TruthChunk* nearestChunk(const camlayout::Truth& t, std::uint64_t target,
                                          const char* handler);

bool layOutRecording(const camlayout::CameraKind& k, const camlayout::ContentLook& look,
                     const camlayout::LayoutOptions& options, const std::string& path,
                     camlayout::Truth& truth);
