#include "codec/MediaView.h"

#include <algorithm>
#include <cstring>

namespace repair {
namespace {

constexpr std::uint64_t kBlock = 16u << 10;

} // namespace

MediaView::MediaView(const ByteSource& file, std::uint64_t begin, std::uint64_t limit,
                     bool endIsCut)
    : file_(file), begin_(begin), limit_(std::min(limit, file.size())), endIsCut_(endIsCut) {}

const MediaView::Block& MediaView::blockAt(std::uint64_t aligned) const {
    ++clock_;
    Block* oldest = &blocks_[0];
    for (Block& b : blocks_) {
        if (b.used != 0 && b.start == aligned) {
            b.used = clock_;
            return b;
        }
        oldest = b.used < oldest->used ? &b : oldest;
    }
    oldest->bytes.resize(kBlock);
    const auto want = static_cast<std::size_t>(std::min(kBlock, limit_ - aligned));
    oldest->size = file_.read(aligned, oldest->bytes.data(), want);
    oldest->start = aligned;
    oldest->used = clock_;
    return *oldest;
}

std::size_t MediaView::read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
    if (offset >= limit_) {
        return 0;
    }
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, limit_ - offset));
    if (count > kBlock) {
        return file_.read(offset, out, count);
    }
    std::size_t done = 0;
    while (done < count) {
        const std::uint64_t at = offset + done;
        const Block& b = blockAt(at - at % kBlock);
        const auto inBlock = static_cast<std::size_t>(at - b.start);
        if (inBlock >= b.size) {
            break; // the file is shorter than it said
        }
        const std::size_t n = std::min(count - done, b.size - inBlock);
        std::memcpy(out + done, b.bytes.data() + inBlock, n);
        done += n;
    }
    return done;
}

} // namespace repair
