#pragma once

#include "codec/Codec.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace repair {

// The walk's memory of its codecs' answers: per track, the answer to the last question
// asked outside a nested one, with the samples the codec found on its way. A question
// about another place replaces them all; a sample taken drops the answer about its start.
class ProbeCache {
public:
    explicit ProbeCache(std::size_t tracks) : tracks_(tracks) {}

    // The kept answer for track t at pos, or asks its codec.
    SampleGuess ask(int t, Codec& codec, MediaView& media, std::uint64_t pos);
    // Track t's sample at pos was taken: what its codec knows has changed.
    void taken(int t, std::uint64_t pos);

private:
    using Answers = std::vector<std::pair<std::uint64_t, SampleGuess>>;
    class Notes : public ProbeNotes {
    public:
        explicit Notes(Answers* into) : into_(into) {}
        void found(std::uint64_t pos, const SampleGuess& guess) override {
            if (into_) {
                into_->emplace_back(pos, guess);
            }
        }

    private:
        Answers* into_;
    };

    std::vector<Answers> tracks_;
    Answers found_; // of the probe under way
};

} // namespace repair
