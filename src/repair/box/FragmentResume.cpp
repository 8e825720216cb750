#include "box/FragmentResume.h"

#include "box/Endian.h"

#include <utility>

namespace repair {
namespace {

constexpr std::size_t kBlock = 1u << 20;

// A box of this type whose header starts at `at`, read within the file.
std::optional<BoxHeader> boxAt(const ByteSource& file, std::uint64_t at, std::uint32_t type) {
    auto box = readBoxHeader(file, at, file.size());
    return box && box->type == type ? box : std::nullopt;
}

} // namespace

FragmentResume findResume(const ByteSource& file, std::uint64_t from,
                          const std::vector<TrackDefaults>& defaults) {
    FragmentResume r;
    std::vector<std::uint8_t> block(kBlock + 8);
    // Box types sit 4 bytes into their header; a block overlaps the next by 7 bytes.
    for (std::uint64_t at = from; at + 8 <= file.size(); at += kBlock) {
        const std::size_t got = file.read(at, block.data(), block.size());
        for (std::size_t i = 4; i + 4 <= got && i < kBlock + 4; ++i) {
            const std::uint32_t type = be32(block.data() + i);
            if (type == fourcc("mdat") && !r.mdat) {
                r.mdat = boxAt(file, at + i - 4, type);
            } else if (type == fourcc("moof")) {
                const auto moof = boxAt(file, at + i - 4, type);
                const auto read = moof && !moof->runsPastEnd
                                      ? readMovieFragment(file, *moof, defaults)
                                      : std::nullopt;
                if (read && !read->tracks.empty()) {
                    r.moof = moof;
                    r.fragment = std::move(*read);
                    return r;
                }
            }
        }
    }
    return r;
}

} // namespace repair
