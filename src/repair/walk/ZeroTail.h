#pragma once

#include "walk/Layout.h"

#include <cstdint>

namespace repair {

// The fewest zero bytes at the end of the media data that are taken for a preallocated file's
// tail rather than for media.
std::uint64_t zeroTailMinimum(const Layout& layout);

} // namespace repair
