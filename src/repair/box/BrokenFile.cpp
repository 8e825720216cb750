#include "BrokenFile.h"

#include "Box.h"
#include "Endian.h"
#include "Reference.h"
#include "RepairError.h"

namespace repair {
namespace {

constexpr std::size_t kMaxHead = 1u << 20;

} // namespace

MediaData findMediaData(const ByteSource& file) {
    const auto first = readBoxHeader(file, 0, file.size());
    if (!first || !isTopLevelType(first->type)) {
        throw RepairError(ExitCode::BadInput, "broken file is not an MP4/MOV file");
    }
    MediaData media;
    // One box at a time: a file of countless tiny boxes must not cost memory.
    for (auto at = first; at; at = readBoxHeader(file, at->end, file.size())) {
        const BoxHeader& box = *at;
        if (box.type == fourcc("ftyp") && media.ftyp.empty()) {
            media.ftyp = loadBox(file, box.offset, box.end, 4096);
        }
        if (box.type != fourcc("mdat") && box.type != fourcc("moov") && !box.runsPastEnd &&
            media.head.size() + (box.end - box.offset) <= kMaxHead) {
            const auto bytes = loadBox(file, box.offset, box.end, kMaxHead);
            media.head.insert(media.head.end(), bytes.begin(), bytes.end());
        }
        if (box.type == fourcc("mdat") && box.end > box.payload) {
            media.begin = box.payload;
            media.end = box.end;
            media.cut = box.runsPastEnd;
            return media;
        }
    }
    throw RepairError(ExitCode::NoMedia, "broken file holds no media data (no mdat box)");
}

} // namespace repair
