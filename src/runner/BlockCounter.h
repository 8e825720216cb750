#pragma once

#include "platform/Failure.h"

#include <limits>

namespace runner::detail {

// The block count is a signed 32-bit number; counting past its largest value is the
// classic overflow failure (number 6) and ends the run.
inline int CountBlock(int count) {
    if (count == std::numeric_limits<int>::max()) {
        throw Failure(QStringLiteral("Overflow"), QStringLiteral("DOSOutputs"), 6);
    }
    return count + 1;
}

} // namespace runner::detail
