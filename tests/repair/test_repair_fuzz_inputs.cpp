// Replays the fuzz corpus (starting inputs and every input that ever crashed) through the same
// entry the fuzzer uses; each must run to its end with the invariants intact.
#include "Check.h"
#include "FuzzEntry.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

int main() {
    Checks c;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(FUZZ_CORPUS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in),
                                             std::istreambuf_iterator<char>()};
        c.expect(fuzzOne(data.data(), data.size()), "invariants hold for " + entry.path().string());
        ++inputs;
    }
    c.expect(inputs >= 3, "corpus holds the starting inputs");
    return c.finish();
}
