// libFuzzer entry: any broken invariant aborts, like a crash.
#include "FuzzEntry.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzOne(data, size)) {
        std::abort();
    }
    return 0;
}
