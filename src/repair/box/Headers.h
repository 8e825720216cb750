#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace repair {

// Checks of the header boxes the result takes over from the reference (whole boxes,
// header included).

// The movie header fit to copy: a new one when it is missing or does not parse, a timescale
// of 0 replaced. timescale gets the one it holds; what was mended goes into notes.
std::vector<std::uint8_t> saneMovieHeader(std::vector<std::uint8_t> mvhd, std::uint32_t& timescale,
                                          std::vector<std::string>& notes);

// Why a track header does not serve ("" when it does); id gets the track id.
std::string trackHeaderFault(const std::vector<std::uint8_t>& tkhd, std::uint32_t& id);

// Why a media header does not serve ("" when it does); timescale gets the media timescale.
std::string mediaHeaderFault(const std::vector<std::uint8_t>& mdhd, std::uint32_t& timescale);

// Why an edit list is not taken over ("" when it is): it does not parse, or waits longer
// before the media than a recording does.
std::string editListFault(const std::vector<std::uint8_t>& elst, std::uint32_t movieTimescale);

} // namespace repair
