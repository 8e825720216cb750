#pragma once

#include "box/Box.h"

#include <cstdint>
#include <string>

namespace repair {

// The boxes of the reference that the result takes over as they are (metadata, handlers,
// track references): only those with a known purpose, whole, and within what a recording
// holds.

enum class CopiedFrom { Moov, Trak, Mdia, Minf };

// Space left for copied boxes over the whole moov.
struct CopyBudget {
    std::uint64_t bytesLeft;
    CopyBudget();
};

// Why the box is not copied ("", when it is); padding is dropped with the reason "padding".
// A box that is copied is charged to the budget.
std::string copyFault(const ByteSource& src, const BoxHeader& box, CopiedFrom parent,
                      CopyBudget& budget);

} // namespace repair
