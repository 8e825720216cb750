#pragma once

#include "Layout.h"

#include <string>

// Makes content with Debian's ffmpeg and lays it out at `path` as kind `k` does; false, with
// the reason on standard error, when either step fails.
bool layOutRecording(const camlayout::CameraKind& k, const camlayout::ContentLook& look,
                     const camlayout::LayoutOptions& options, const std::string& path,
                     camlayout::Truth& truth);
