#pragma once

#include "box/Reference.h"

#include <cstdint>
#include <vector>

// A fuzz reference with one track of each of the less common codecs (ProRes, Motion JPEG,
// MPEG-4 Part 2, MPEG-2, DV, AC-3, E-AC-3, ALAC, 8-bit PCM), and the bytes its codecs learn
// from: a tiny MPEG-4 and MPEG-2 picture each.
repair::Reference codecCamera();
const std::vector<std::uint8_t>& codecCameraSamples();
