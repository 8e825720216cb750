#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace repair {

struct AacConfig {
    std::vector<std::uint8_t> audioSpecificConfig;
    int objectType = 0;
    int channels = 0;
    std::uint32_t sampleRate = 0;
};

// Reads the AudioSpecificConfig out of an esds box payload (after the full-box header).
std::optional<AacConfig> parseEsds(const std::uint8_t* data, std::size_t size);

// The sampling frequency index of a rate (ISO/IEC 14496-3 1.6.3.4), when it has one.
std::optional<std::uint32_t> aacRateIndex(std::uint32_t rate);

// Decodes object type, rate and channel count from an AudioSpecificConfig.
bool describeAudioSpecificConfig(AacConfig& cfg);

} // namespace repair
