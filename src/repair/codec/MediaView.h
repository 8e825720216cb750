#pragma once

#include "box/ByteSource.h"
#include "codec/Neighbours.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace repair {

// The media data of the broken file as the codecs see it: reads end at the limit (the cut,
// or the recorded end), and small reads near each other are served from a few cached
// blocks, so probing sample headers costs a copy of a few kilobytes, not a system call.
class MediaView : public ByteSource {
public:
    MediaView(const ByteSource& file, std::uint64_t begin, std::uint64_t limit, bool endIsCut);

    std::uint64_t size() const override { return limit_; }
    std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const override;

    std::uint64_t begin() const { return begin_; }
    std::uint64_t limit() const { return limit_; }
    // True when the limit is where the file was cut, not where the recording ended.
    bool endIsCut() const { return endIsCut_; }
    // Zeros from the limit up to here are a preallocated file's tail, not media: the limit
    // is where they start. No byte of them is read through the view.
    void setZeroTail(std::uint64_t end) { zeroTailEnd_ = end; }
    std::uint64_t zeroTailEnd() const { return std::max(zeroTailEnd_, limit_); }
    // Whether a sample whose declared length `len` ends at `end` was cut off. A sample padded
    // with zeros (gpmd to whole words) may end inside the zero tail after it: one reaching
    // only a little way into the tail is whole.
    bool cutsOff(std::uint64_t end, std::uint64_t len) const {
        return end > limit_ && !(end <= zeroTailEnd() && end - limit_ < len / 2);
    }

    // Whether a sample of another track could start at pos, as the walker's neighbours
    // answer; no when nobody answers.
    bool otherStartsAt(std::uint64_t pos) const { return asks(pos, Neighbours::Ask::Ends); }
    bool otherSurelyStartsAt(std::uint64_t pos) const { return asks(pos, Neighbours::Ask::Surely); }
    // The same, but true when the question goes too deep to be answered: for checks that
    // only rule out what surely does not fit.
    bool mayStartAt(std::uint64_t pos) const { return asks(pos, Neighbours::Ask::RulesOut); }
    std::optional<int> rawSoundStep(std::uint64_t pos) const {
        return neighbours_ ? neighbours_->rawSoundStep(pos) : std::nullopt;
    }
    void setNeighbours(Neighbours* neighbours) { neighbours_ = neighbours; }

    // True while the walker answers otherStartsAt: answers found then rest on questions
    // that could not be asked in turn, so codecs must not keep them for later.
    bool nested() const { return nested_ > 0; }
    void enterNested() { ++nested_; }
    void leaveNested() { --nested_; }

private:
    struct Block {
        std::uint64_t start = 0;
        std::size_t size = 0;
        std::uint64_t used = 0;
        std::vector<std::uint8_t> bytes;
    };
    const Block& blockAt(std::uint64_t aligned) const;
    bool asks(std::uint64_t pos, Neighbours::Ask ask) const {
        return neighbours_ && neighbours_->startsAt(pos, ask);
    }

    const ByteSource& file_;
    std::uint64_t begin_;
    std::uint64_t limit_;
    bool endIsCut_;
    std::uint64_t zeroTailEnd_ = 0;
    Neighbours* neighbours_ = nullptr;
    int nested_ = 0;
    mutable std::array<Block, 4> blocks_{};
    mutable std::uint64_t clock_ = 0;
};

} // namespace repair
