#include "box/Headers.h"

#include "box/BoxWriter.h"
#include "box/Endian.h"

#include <optional>

namespace repair {
namespace {

using Bytes = std::vector<std::uint8_t>;

// When a movie header gives none that can be used.
constexpr std::uint32_t kMovieTimescale = 1000;
// A camera starts its sound or pictures late by a fraction of a second; an edit list that
// shows nothing for longer than this before the media is not a recording's.
constexpr std::uint64_t kMaxLeadingEmptySeconds = 10;

// Where a full box's field lies: version 0 and version 1 (64-bit times) offsets, from the
// start of the box. Nothing when the box is too short or of an unknown version.
struct Field {
    std::size_t v0, v1, minSize0, minSize1;
};

std::optional<std::size_t> fieldAt(const Bytes& box, Field f) {
    if (box.size() < 12 || box[8] > 1) {
        return std::nullopt;
    }
    const bool v1 = box[8] == 1;
    if (box.size() < (v1 ? f.minSize1 : f.minSize0)) {
        return std::nullopt;
    }
    return v1 ? f.v1 : f.v0;
}

Bytes newMovieHeader() {
    BoxWriter w;
    const auto box = w.openFull(fourcc("mvhd"), 0, 0);
    w.u32(0); // creation and modification times
    w.u32(0);
    w.u32(kMovieTimescale);
    w.u32(0);          // duration, set when written
    w.u32(0x00010000); // rate 1.0
    w.u16(0x0100);     // volume 1.0
    w.zeros(10);
    for (std::uint32_t v : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u}) {
        w.u32(v);
    }
    w.zeros(24);
    w.u32(1); // next track id, set when written
    w.close(box);
    return w.bytes();
}

} // namespace

Bytes saneMovieHeader(Bytes mvhd, std::uint32_t& timescale, std::vector<std::string>& notes) {
    // mvhd: times, timescale, duration, then rate ... next_track_ID: 108 or 120 bytes.
    const auto at = fieldAt(mvhd, {20, 28, 108, 120});
    if (!at) {
        notes.push_back(std::string("the reference's movie header (mvhd) ") +
                        (mvhd.empty() ? "is missing" : "does not parse") +
                        ": the result has a new one");
        timescale = kMovieTimescale;
        return newMovieHeader();
    }
    timescale = be32(mvhd.data() + *at);
    if (timescale == 0) {
        notes.push_back("the reference's movie timescale is 0: the result's is " +
                        std::to_string(kMovieTimescale));
        timescale = kMovieTimescale;
        for (int i = 0; i < 4; ++i) {
            mvhd[*at + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(timescale >> (24 - 8 * i));
        }
    }
    return mvhd;
}

std::string trackHeaderFault(const Bytes& tkhd, std::uint32_t& id) {
    const auto at = fieldAt(tkhd, {20, 28, 88, 100});
    if (!at) {
        return tkhd.empty() ? "it has no track header (tkhd)"
                            : "its track header (tkhd) does not parse";
    }
    id = be32(tkhd.data() + *at);
    return id == 0 ? "its track id is 0" : "";
}

std::string mediaHeaderFault(const Bytes& mdhd, std::uint32_t& timescale) {
    const auto at = fieldAt(mdhd, {20, 28, 32, 44});
    if (!at) {
        return mdhd.empty() ? "it has no media header (mdhd)"
                            : "its media header (mdhd) does not parse";
    }
    timescale = be32(mdhd.data() + *at);
    return timescale == 0 ? "its media timescale is 0" : "";
}

std::string editListFault(const Bytes& elst, std::uint32_t movieTimescale) {
    if (elst.size() < 16 || elst[8] > 1) {
        return "it does not parse";
    }
    const bool v1 = elst[8] == 1;
    const std::size_t entry = v1 ? 20 : 12;
    const std::uint64_t count = be32(elst.data() + 12);
    if (count > (elst.size() - 16) / entry) {
        return "it lists " + std::to_string(count) + " edits but holds " +
               std::to_string((elst.size() - 16) / entry);
    }
    const std::uint64_t limit = kMaxLeadingEmptySeconds * movieTimescale;
    std::uint64_t empty = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* e = elst.data() + 16 + i * entry;
        const bool none = v1 ? be64(e + 8) == ~std::uint64_t{0} : be32(e + 4) == ~std::uint32_t{0};
        if (!none) {
            break;
        }
        const std::uint64_t length = v1 ? be64(e) : be32(e);
        if (length > limit - empty) {
            return "it shows nothing for over " + std::to_string(kMaxLeadingEmptySeconds) +
                   " s before the media";
        }
        empty += length;
    }
    return "";
}

} // namespace repair
