#include "codec/H264Params.h"

#include "codec/BitReader.h"

namespace repair {
namespace {

// Parameter sets are short; a few hundred bytes cover every field we read.
constexpr std::size_t kMaxParamBytes = 512;

bool highProfile(std::uint32_t profile) {
    switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
        return true;
    default:
        return false;
    }
}

void skipScalingList(BitReader& br, int count) {
    int last = 8;
    int next = 8;
    for (int j = 0; j < count && !br.failed(); ++j) {
        if (next != 0) {
            next = (last + br.se() + 256) % 256;
        }
        last = next == 0 ? last : next;
    }
}

bool readChromaInfo(BitReader& br, Sps& sps) {
    const std::uint32_t chroma = br.ue();
    if (chroma > 3) {
        return false;
    }
    if (chroma == 3) {
        sps.separateColourPlane = br.flag();
    }
    if (br.ue() > 6 || br.ue() > 6) { // bit depths minus 8
        return false;
    }
    br.skip(1); // qpprime_y_zero_transform_bypass_flag
    if (br.flag()) {
        const int lists = chroma == 3 ? 12 : 8;
        for (int i = 0; i < lists; ++i) {
            if (br.flag()) {
                skipScalingList(br, i < 6 ? 16 : 64);
            }
        }
    }
    return true;
}

bool readPocInfo(BitReader& br, Sps& sps) {
    sps.pocType = br.ue();
    if (sps.pocType == 0) {
        const std::uint32_t v = br.ue();
        if (v > 12) {
            return false;
        }
        sps.log2MaxPocLsb = static_cast<int>(v) + 4;
    } else if (sps.pocType == 1) {
        sps.deltaPicOrderAlwaysZero = br.flag();
        sps.offsetForNonRefPic = br.se();
        sps.offsetForTopToBottomField = br.se();
        const std::uint32_t cycle = br.ue();
        if (cycle > 255) {
            return false;
        }
        for (std::uint32_t i = 0; i < cycle && !br.failed(); ++i) {
            sps.refFrameOffsets.push_back(br.se());
        }
    } else if (sps.pocType != 2) {
        return false;
    }
    return true;
}

} // namespace

std::optional<Sps> parseSps(const std::uint8_t* nal, std::size_t size) {
    if (size < 4 || (nal[0] & 0x1f) != 7) {
        return std::nullopt;
    }
    const auto rbsp = unescapeRbsp(nal + 1, size - 1, kMaxParamBytes);
    BitReader br(rbsp.data(), rbsp.size());
    Sps sps;
    const std::uint32_t profile = br.bits(8);
    br.skip(16); // constraint flags, level
    sps.id = br.ue();
    if (sps.id > 31 || (highProfile(profile) && !readChromaInfo(br, sps))) {
        return std::nullopt;
    }
    const std::uint32_t frameNum = br.ue();
    if (frameNum > 12 || !readPocInfo(br, sps)) {
        return std::nullopt;
    }
    sps.log2MaxFrameNum = static_cast<int>(frameNum) + 4;
    br.ue(); // max_num_ref_frames
    sps.frameNumGaps = br.flag();
    sps.anySliceOrder = profile == 66 || profile == 88;
    const std::uint32_t widthMbs = br.ue() + 1;
    const std::uint32_t heightUnits = br.ue() + 1;
    sps.frameMbsOnly = br.flag();
    if (br.failed() || widthMbs > 1024 || heightUnits > 1024) {
        return std::nullopt;
    }
    sps.picSizeInMbs = widthMbs * heightUnits * (sps.frameMbsOnly ? 1 : 2);
    return sps;
}

std::optional<Pps> parsePps(const std::uint8_t* nal, std::size_t size) {
    if (size < 2 || (nal[0] & 0x1f) != 8) {
        return std::nullopt;
    }
    const auto rbsp = unescapeRbsp(nal + 1, size - 1, kMaxParamBytes);
    BitReader br(rbsp.data(), rbsp.size());
    Pps pps;
    pps.id = br.ue();
    pps.spsId = br.ue();
    br.skip(1); // entropy_coding_mode_flag
    pps.bottomFieldPicOrderPresent = br.flag();
    if (br.failed() || pps.id > 255 || pps.spsId > 31) {
        return std::nullopt;
    }
    return pps;
}

namespace {

// Keeps a parameter set that parsed under its id; counts ids seen for the first time.
template <typename Set, std::size_t N>
bool keep(std::array<std::optional<Set>, N>& table, const std::optional<Set>& parsed,
          int* firstSeen = nullptr) {
    if (!parsed) {
        return false;
    }
    if (firstSeen != nullptr && !table[parsed->id]) {
        ++*firstSeen;
    }
    table[parsed->id] = parsed;
    return true;
}

// Hands each of count NAL units, every one behind a 16-bit length, from data[at] on to
// add; false when one runs past the end.
template <typename Add>
bool readNalList(const std::uint8_t* data, std::size_t size, std::size_t& at, int count, Add add) {
    for (int i = 0; i < count; ++i) {
        if (at + 2 > size) {
            return false;
        }
        const std::size_t len = (std::size_t{data[at]} << 8) | data[at + 1];
        at += 2;
        if (len > size - at) {
            return false;
        }
        add(data + at, len);
        at += len;
    }
    return true;
}

template <typename Set, std::size_t N>
const Set* find(const std::array<std::optional<Set>, N>& table, std::uint32_t id) {
    return id < table.size() && table[id] ? &*table[id] : nullptr;
}

} // namespace

bool ParamSets::addSps(const std::uint8_t* nal, std::size_t size) {
    return keep(sps_, parseSps(nal, size), &spsCount_);
}

bool ParamSets::addPps(const std::uint8_t* nal, std::size_t size) {
    return keep(pps_, parsePps(nal, size));
}

bool ParamSets::addHevcSps(const std::uint8_t* nal, std::size_t size) {
    return keep(hevcSps_, parseHevcSps(nal, size), &spsCount_);
}

bool ParamSets::addHevcPps(const std::uint8_t* nal, std::size_t size) {
    return keep(hevcPps_, parseHevcPps(nal, size));
}

const Sps* ParamSets::sps(std::uint32_t id) const {
    return find(sps_, id);
}

const Pps* ParamSets::pps(std::uint32_t id) const {
    return find(pps_, id);
}

const HevcSps* ParamSets::hevcSps(std::uint32_t id) const {
    return find(hevcSps_, id);
}

const HevcPps* ParamSets::hevcPps(std::uint32_t id) const {
    return find(hevcPps_, id);
}

std::optional<AvcConfig> parseHvcC(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kFixed = 23; // fields before the NAL unit arrays
    if (size < kFixed || data[0] != 1) {
        return std::nullopt;
    }
    AvcConfig cfg;
    cfg.lengthSize = (data[21] & 3) + 1;
    if (cfg.lengthSize == 3) {
        return std::nullopt;
    }
    std::size_t at = kFixed;
    for (int array = 0; array < data[22]; ++array) {
        if (at + 3 > size) {
            return std::nullopt;
        }
        const int type = data[at] & 0x3f;
        const int count = (data[at + 1] << 8) | data[at + 2];
        at += 3;
        const bool whole = readNalList(data, size, at, count, [&](auto* nal, std::size_t len) {
            if (type == 33) {
                cfg.params.addHevcSps(nal, len);
            } else if (type == 34) {
                cfg.params.addHevcPps(nal, len);
            }
        });
        if (!whole) {
            return std::nullopt;
        }
    }
    return cfg;
}

std::optional<AvcConfig> parseAvcC(const std::uint8_t* data, std::size_t size) {
    if (size < 7 || data[0] != 1) {
        return std::nullopt;
    }
    AvcConfig cfg;
    cfg.lengthSize = (data[4] & 3) + 1;
    if (cfg.lengthSize == 3) {
        return std::nullopt;
    }
    std::size_t at = 5;
    for (int kind = 0; kind < 2; ++kind) {
        if (at >= size) {
            return std::nullopt;
        }
        const int count = kind == 0 ? (data[at] & 0x1f) : data[at];
        ++at;
        const bool whole = readNalList(data, size, at, count, [&](auto* nal, std::size_t len) {
            if (kind == 0) {
                cfg.params.addSps(nal, len);
            } else {
                cfg.params.addPps(nal, len);
            }
        });
        if (!whole) {
            return std::nullopt;
        }
    }
    return cfg;
}

} // namespace repair
