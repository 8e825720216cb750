#pragma once

#include <cstdint>
#include <optional>

namespace repair {

// The walker's side of a probe: whether a sample of another track could start at a
// position. A codec asks to tell where its own last sample before another track's ends.
class Neighbours {
public:
    // How a codec asks.
    enum class Ask {
        Ends,     // to end a sample of its own there
        RulesOut, // only to rule its own sample out: unknown counts as yes
        Surely,   // cheaply: only tracks that can be surely recognised answer
    };
    virtual bool startsAt(std::uint64_t pos, Ask ask) = 0;
    // Where raw sound follows the asking track: whether it reads as a recorded signal
    // better from pos (-1), from pos + 1 (1), or alike (0); nothing when no raw sound follows.
    virtual std::optional<int> rawSoundStep(std::uint64_t pos) = 0;

protected:
    ~Neighbours() = default;
};

} // namespace repair
