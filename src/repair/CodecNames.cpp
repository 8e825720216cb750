#include "CodecNames.h"

#include "box/Box.h"
#include "box/Endian.h"
#include "codec/EntryFields.h"
#include "codec/EsDescriptor.h"

#include <cstring>

namespace repair {
namespace {

struct Named {
    // Sample entry types, four characters each, separated by '|'; three and '*': a family.
    const char* types;
    const char* name;
};

const Named kNames[] = {
    {"avc1|avc3", "H.264"},
    {"hvc1|hev1", "HEVC"},
    {"apco", "ProRes 422 Proxy"},
    {"apcs", "ProRes 422 LT"},
    {"apcn", "ProRes 422"},
    {"apch", "ProRes 422 HQ"},
    {"ap4h", "ProRes 4444"},
    {"ap4x", "ProRes 4444 XQ"},
    {"jpeg|mjpa|mjpb|AVDJ|dmb1", "Motion JPEG"},
    {"dvc |dvcp", "DV"},
    {"dvpp", "DVCPRO"},
    {"dv5*", "DVCPRO50"},
    {"dvh*", "DVCPRO HD"},
    {"xdv*|xd5*|m2v1|mp2v", "MPEG-2"},
    {"mx3*|mx4*|mx5*", "MPEG-2 IMX"},
    {"hdv*", "MPEG-2 HDV"},
    {"mp4a", "AAC"},
    {"ac-3", "AC-3"},
    {"ec-3", "E-AC-3"},
    {"alac", "ALAC"},
    {"twos|sowt|lpcm|in24|in32|fl32|fl64|raw ", "LPCM"},
    {"ulaw", "µ-law"},
    {"alaw", "A-law"},
    {"tmcd", "timecode"},
};

const char* tableName(std::uint32_t codec) {
    const std::string type = typeName(codec);
    for (const auto& n : kNames) {
        for (const char* t = n.types;; t += 5) {
            const std::size_t length = t[3] == '*' ? 3 : 4;
            if (type.size() == 4 && type.compare(0, length, t, length) == 0) {
                return n.name;
            }
            if (t[4] != '|') {
                break;
            }
        }
    }
    return nullptr;
}

// AVCProfileIndication of an avcC, with its constraint flags.
std::string h264Profile(const std::vector<std::uint8_t>& avcC) {
    if (avcC.size() < 3) {
        return "";
    }
    switch (avcC[1]) {
    case 66:
        return (avcC[2] & 0x40) ? " Constrained Baseline" : " Baseline";
    case 77:
        return " Main";
    case 88:
        return " Extended";
    case 100:
        return " High";
    case 110:
        return " High 10";
    case 122:
        return " High 4:2:2";
    case 244:
        return " High 4:4:4";
    default:
        return "";
    }
}

// general_profile_idc of an hvcC.
std::string hevcProfile(const std::vector<std::uint8_t>& hvcC) {
    if (hvcC.size() < 2) {
        return "";
    }
    switch (hvcC[1] & 0x1F) {
    case 1:
        return " Main";
    case 2:
        return " Main 10";
    case 3:
        return " Main Still Picture";
    case 4:
        return " Range Extensions";
    default:
        return "";
    }
}

// mp4v and mp4a carry more than one standard: the esds's object type says which.
std::string byObjectType(const RefTrack& t, const char* fallback) {
    const auto esds = entryBox(t, fourcc("esds"));
    const auto es = esds.size() > 4 ? parseEsConfig(esds.data() + 4, esds.size() - 4)
                                    : std::optional<EsConfig>{};
    const int type = es ? es->objectType : 0;
    if (type == 0x20) {
        return "MPEG-4 Visual";
    }
    if ((type >= 0x60 && type <= 0x65) || type == 0x6A) {
        return type == 0x6A ? "MPEG-1" : "MPEG-2";
    }
    if (type == 0x69 || type == 0x6B) {
        return "MP3";
    }
    return fallback;
}

} // namespace

std::string codecName(const RefTrack& t) {
    const char* name = tableName(t.codec);
    if (t.codec == fourcc("avc1") || t.codec == fourcc("avc3")) {
        return name + h264Profile(t.decoderConfig);
    }
    if (t.codec == fourcc("hvc1") || t.codec == fourcc("hev1")) {
        return name + hevcProfile(t.decoderConfig);
    }
    if (t.codec == fourcc("mp4v") || t.codec == fourcc("mp4a")) {
        return byObjectType(t, t.codec == fourcc("mp4v") ? "MPEG-4 video" : name);
    }
    return name ? name : typeName(t.codec);
}

std::string pcmBits(const RefTrack& t) {
    if (!t.sound || std::strcmp(tableName(t.codec) ? tableName(t.codec) : "", "LPCM") != 0) {
        return "";
    }
    if (t.codec == fourcc("in24")) {
        return "24-bit";
    }
    if (t.codec == fourcc("in32")) {
        return "32-bit";
    }
    if (t.codec == fourcc("fl32") || t.codec == fourcc("fl64")) {
        return t.codec == fourcc("fl32") ? "32-bit float" : "64-bit float";
    }
    const int bits = t.codec == fourcc("raw ") ? 8 : t.sound->bitsPerSample;
    const bool floating = t.codec == fourcc("lpcm") && (t.sound->formatFlags & 1) != 0;
    return bits > 0 ? std::to_string(bits) + (floating ? "-bit float" : "-bit") : "";
}

} // namespace repair
