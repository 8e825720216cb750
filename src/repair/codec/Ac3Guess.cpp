// AC-3 and E-AC-3 runs describe themselves: every run is whole syncframes from its first
// byte to its last, and the first frame's header gives the rate, the channels and the
// fields of the dac3 (dec3) box.
#include "box/Endian.h"
#include "codec/BitReader.h"
#include "codec/ParsedFacts.h"
#include "codec/SoundGuess.h"

extern "C" {
#include <libavcodec/ac3_parser.h>
}

namespace repair {
namespace {

constexpr std::size_t kHeader = 16;
constexpr int kFirstEac3Id = 11;
constexpr std::uint32_t kSamplesPerFrame = 1536;

struct Frame {
    std::uint16_t size = 0;
    bool eac3 = false;
    bool counts = true; // opens a sample: AC-3, or an E-AC-3 frame of independent substream 0
};

std::optional<Frame> frameAt(std::span<const std::uint8_t> run, std::size_t at) {
    if (run.size() - at < kHeader || be16(run.data() + at) != 0x0B77) {
        return std::nullopt;
    }
    std::uint8_t bsid = 0;
    std::uint16_t size = 0;
    if (av_ac3_parse_header(run.data() + at, kHeader, &bsid, &size) < 0 || size < kHeader ||
        size > run.size() - at) {
        return std::nullopt;
    }
    Frame f{size, bsid >= kFirstEac3Id, true};
    if (f.eac3) {
        const std::uint8_t b2 = run[at + 2], b4 = run[at + 4];
        const bool sixBlocks = (b4 >> 6) == 3 || ((b4 >> 4) & 3) == 3;
        if (!sixBlocks) {
            return std::nullopt; // frames of fewer blocks are not gathered here
        }
        f.counts = (b2 >> 6) != 1 && ((b2 >> 3) & 7) == 0;
    }
    return f;
}

// Channels of an E-AC-3 frame from its acmod and lfeon (the header's fifth byte).
int eac3Channels(std::uint8_t b4) {
    static constexpr int kByMode[] = {2, 1, 2, 3, 3, 4, 4, 5};
    return kByMode[(b4 >> 1) & 7] + (b4 & 1);
}

// dac3: fscod, bsid, bsmod, acmod, lfeon and bit_rate_code from the syncframe header.
std::vector<std::uint8_t> dac3(const std::uint8_t* h) {
    BitReader r(h + 4, kHeader - 4);
    const std::uint32_t fscod = r.bits(2), frmsizecod = r.bits(6), bsid = r.bits(5),
                        bsmod = r.bits(3), acmod = r.bits(3);
    if ((acmod & 1) && acmod != 1) {
        r.bits(2);
    }
    if (acmod & 4) {
        r.bits(2);
    }
    if (acmod == 2) {
        r.bits(2);
    }
    const std::uint32_t lfeon = r.bits(1);
    const std::uint32_t v =
        fscod << 22 | bsid << 17 | bsmod << 14 | acmod << 11 | lfeon << 10 | (frmsizecod >> 1) << 5;
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

// dec3 for one independent substream without dependents.
std::vector<std::uint8_t> dec3(const std::uint8_t* h, std::uint16_t frameSize, int rate) {
    BitReader r(h + 2, kHeader - 2);
    r.bits(2 + 3 + 11);
    const std::uint32_t fscod = r.bits(2);
    r.bits(2);
    const std::uint32_t acmod = r.bits(3), lfeon = r.bits(1), bsid = r.bits(5);
    const auto kbps =
        static_cast<std::uint32_t>(std::uint64_t{frameSize} * 8 * rate / kSamplesPerFrame / 1000);
    // data_rate and num_ind_sub - 1 = 0, then the one substream's fields.
    const std::uint64_t v = std::uint64_t{kbps} << 27 | std::uint64_t{fscod} << 22 | bsid << 17 |
                            acmod << 9 | lfeon << 8;
    std::vector<std::uint8_t> out(5);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(v >> (8 * (4 - i)));
    }
    return out;
}

} // namespace

// Every run whole syncframes, but for a few that damage took (they are no chunk then).
std::optional<SoundGuess> guessAc3(const SoundRuns& runs, const VideoSpan& /*video*/) {
    constexpr std::size_t kDamagedShare = 10; // at most one run in this many
    SoundGuess g;
    std::optional<Frame> first;
    std::size_t damaged = 0;
    for (const auto& run : runs) {
        std::uint32_t samples = 0;
        std::size_t at = 0;
        while (at < run.size()) {
            const auto f = frameAt(run, at);
            if (!f || (first && f->eac3 != first->eac3)) {
                break;
            }
            if (!first) {
                const auto facts = ac3Facts(run.data() + at, f->size);
                if (!facts) {
                    break;
                }
                first = f;
                g.info.sampleRate = facts->sampleRate;
                g.info.channels = facts->channels > 0 ? facts->channels : eac3Channels(run[at + 4]);
                g.config = f->eac3 ? dec3(run.data() + at, f->size, facts->sampleRate)
                                   : dac3(run.data() + at);
            }
            samples += f->counts ? 1 : 0;
            at += f->size;
        }
        const bool whole = at == run.size();
        damaged += whole ? 0 : 1;
        g.samples.push_back(whole ? samples : 0);
    }
    if (!first || damaged * kDamagedShare > runs.size()) {
        return std::nullopt;
    }
    g.codec = fourcc(first->eac3 ? "ec-3" : "ac-3");
    g.configType = fourcc(first->eac3 ? "dec3" : "dac3");
    g.info.bitsPerSample = 16;
    g.timescale = static_cast<std::uint32_t>(g.info.sampleRate);
    g.sampleDuration = kSamplesPerFrame;
    g.words = std::string(first->eac3 ? "E-AC-3 " : "AC-3 ") + spokenRate(g.info.sampleRate) + " " +
              std::to_string(g.info.channels) + " ch";
    return g;
}

} // namespace repair
