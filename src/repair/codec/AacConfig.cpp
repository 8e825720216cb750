#include "codec/AacConfig.h"

#include "codec/BitReader.h"
#include "codec/EsDescriptor.h"

namespace repair {
namespace {

constexpr std::uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                    22050, 16000, 12000, 11025, 8000,  7350};

} // namespace

std::optional<AacConfig> parseEsds(const std::uint8_t* data, std::size_t size) {
    const auto es = parseEsConfig(data, size);
    if (!es || (es->objectType != 0x40 && es->objectType != 0x66 && es->objectType != 0x67 &&
                es->objectType != 0x68)) {
        return std::nullopt;
    }
    if (es->specificInfo.empty()) {
        return std::nullopt;
    }
    AacConfig cfg;
    cfg.audioSpecificConfig = es->specificInfo;
    if (!describeAudioSpecificConfig(cfg)) {
        return std::nullopt;
    }
    return cfg;
}

std::optional<std::uint32_t> aacRateIndex(std::uint32_t rate) {
    for (std::uint32_t i = 0; i < sizeof kRates / sizeof kRates[0]; ++i) {
        if (kRates[i] == rate) {
            return i;
        }
    }
    return std::nullopt;
}

bool describeAudioSpecificConfig(AacConfig& cfg) {
    BitReader br(cfg.audioSpecificConfig.data(), cfg.audioSpecificConfig.size());
    cfg.objectType = static_cast<int>(br.bits(5));
    if (cfg.objectType == 31) {
        cfg.objectType = 32 + static_cast<int>(br.bits(6));
    }
    const std::uint32_t rateIndex = br.bits(4);
    if (rateIndex == 15) {
        cfg.sampleRate = br.bits(24);
    } else if (rateIndex < sizeof kRates / sizeof kRates[0]) {
        cfg.sampleRate = kRates[rateIndex];
    }
    cfg.channels = static_cast<int>(br.bits(4));
    return !br.failed() && cfg.sampleRate != 0;
}

} // namespace repair
