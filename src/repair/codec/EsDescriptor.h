#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

// The decoder configuration of an MPEG-4 ES_Descriptor, as an esds box carries it.
struct EsConfig {
    std::uint8_t objectType = 0; // objectTypeIndication: 0x40 MPEG-4 audio, 0x20 MPEG-4 visual, ...
    std::uint8_t streamType = 0;
    std::vector<std::uint8_t> specificInfo; // DecoderSpecificInfo; empty when absent
};

// Reads an esds box payload (after the full-box header).
std::optional<EsConfig> parseEsConfig(const std::uint8_t* data, std::size_t size);

} // namespace repair
