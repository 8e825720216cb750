#pragma once

#include "Check.h"

#include <string>

// AAC frame ends found by walking frames, against libavcodec's, on ffmpeg-made streams
// (made in dir).
void checkAacFrameEnds(Checks& c, const std::string& dir);

// Frames built around the limits libavcodec enforces and its odd readings, judged alike.
void checkAacCraftedFrames(Checks& c);
