#include "CodecStreams.h"

#include "BoxBuilder.h"
#include "Content.h"
#include "Process.h"
#include "box/Endian.h"

#include <stdexcept>

extern "C" {
#include <libavutil/crc.h>
}

using camlayout::BoxBuilder;
using repair::fourcc;

namespace {

using camlayout::box;
using camlayout::oneEntryStsd;

// The reference holds the same samples: its first samples are what the codecs learn from.
CodecStream withReference(const char* handler, const char* code, Bytes entry,
                          std::vector<Bytes> samples) {
    CodecStream s;
    s.track.handler = fourcc(handler[0] == 'v' ? "vide" : "soun");
    s.track.codec = (std::uint32_t{std::uint8_t(code[0])} << 24) |
                    (std::uint32_t{std::uint8_t(code[1])} << 16) |
                    (std::uint32_t{std::uint8_t(code[2])} << 8) | std::uint8_t(code[3]);
    s.track.timescale = 48000;
    s.track.stsd = std::move(entry);
    std::uint32_t largest = 0;
    bool same = true;
    for (const auto& b : samples) {
        s.track.firstSamples.push_back({s.reference.size(), static_cast<std::uint32_t>(b.size())});
        s.reference.insert(s.reference.end(), b.begin(), b.end());
        largest = std::max(largest, static_cast<std::uint32_t>(b.size()));
        same = same && b.size() == samples[0].size();
    }
    s.track.maxSampleSize = largest;
    s.track.fixedSampleSize = same && samples.size() > 1 ? largest : 0;
    s.track.sampleCount = samples.size();
    s.samples = std::move(samples);
    return s;
}

camlayout::ContentStream encode(const std::string& dir, const std::string& name,
                                const std::vector<std::string>& input,
                                const std::vector<std::string>& args) {
    const std::string out = dir + "/" + name + ".mov";
    std::vector<std::string> a = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i"};
    a.insert(a.end(), input.begin(), input.end());
    a.insert(a.end(), args.begin(), args.end());
    a.push_back(out);
    const RunResult r = runProgram(a);
    if (r.status != 0) {
        throw std::runtime_error("ffmpeg: " + r.output);
    }
    return camlayout::readContent(out).streams.at(0);
}

std::vector<Bytes> packets(const camlayout::ContentStream& s) {
    std::vector<Bytes> out;
    for (const auto& p : s.packets) {
        out.push_back(p.data);
    }
    return out;
}

} // namespace

CodecStream ffmpegVideo(const std::string& dir, const char* code, const std::string& source,
                        const std::vector<std::string>& args) {
    const auto s = encode(dir, code, {source, "-t", "0.4"}, args);
    Bytes children;
    if (std::string(code) == "mp4v") {
        children = camlayout::esdsBox(s.codec == "mpeg4" ? 0x20 : 0x61, s.extradata);
    }
    CodecStream c = withReference(
        "vide", code, oneEntryStsd(code, true, s.width, s.height, children), packets(s));
    if (std::string(code) == "avc1") {
        c.track.decoderConfig = s.extradata;
    }
    for (const auto& p : s.packets) {
        c.sync.push_back(p.key);
    }
    return c;
}

CodecStream ffmpegSound(const std::string& dir, const char* code,
                        const std::vector<std::string>& args) {
    // A fixed seed: the damage rows overwrite a byte, which random noise may already hold.
    const auto s = encode(dir, code, {"anoisesrc=a=0.3:r=48000:s=7", "-t", "0.5"}, args);
    const Bytes children = std::string(code) == "alac" ? s.extradata : Bytes{};
    return withReference("soun", code,
                         oneEntryStsd(code, false, s.channels, s.sampleRate, children), packets(s));
}

// Each sample two JPEG images of half height, as interlaced cameras store fields; with an
// APP1 'mjpg' header (Motion JPEG A) saying where the second starts and how far each is
// padded, or without one (AVDJ), padded with zeros either way.
CodecStream jpegFields(const std::string& dir, const char* code, bool mjpgHeaders,
                       std::size_t padding) {
    const auto s = encode(dir, "fields", {"testsrc=size=64x24:rate=50", "-t", "0.2"},
                          {"-c:v", "mjpeg", "-pix_fmt", "yuvj420p"});
    std::vector<Bytes> samples;
    for (std::size_t i = 0; i + 1 < s.packets.size(); i += 2) {
        Bytes sample;
        for (std::size_t f = 0; f < 2; ++f) {
            const Bytes& jpeg = s.packets[i + f].data;
            Bytes field(jpeg.begin(), jpeg.begin() + 2);
            if (mjpgHeaders) {
                const std::size_t size = jpeg.size() + 44;
                Bytes app = {0xFF, 0xE1, 0, 42, 0, 0, 0, 0, 'm', 'j', 'p', 'g'};
                for (std::uint32_t v :
                     {std::uint32_t(size), std::uint32_t(size + padding),
                      std::uint32_t(f == 0 ? size + padding : 0), 0u, 0u, 0u, 0u, 0u}) {
                    repair::putBe32(app, v);
                }
                field.insert(field.end(), app.begin(), app.end());
            }
            field.insert(field.end(), jpeg.begin() + 2, jpeg.end());
            field.resize(field.size() + padding, 0);
            sample.insert(sample.end(), field.begin(), field.end());
        }
        samples.push_back(std::move(sample));
    }
    return withReference("vide", code, oneEntryStsd(code, true, 64, 48, {}), samples);
}

// Motion JPEG B: no markers, each field a header of sizes and offsets, here with filler for
// its compressed data.
CodecStream mjpegB() {
    std::vector<Bytes> samples;
    for (std::uint32_t i = 0; i < 6; ++i) {
        Bytes sample;
        const std::uint32_t size = 300 + 17 * i;
        const std::uint32_t padded = size + 12;
        for (int f = 0; f < 2; ++f) {
            Bytes field = {0, 0, 0, 0, 'm', 'j', 'p', 'g'};
            for (std::uint32_t v :
                 {size, padded, f == 0 ? padded : 0u, 44u, 120u, 200u, 230u, 260u}) {
                repair::putBe32(field, v);
            }
            field.resize(200, 0x11);
            field.insert(field.end(), {0, 17, 8, 0, 24, 0, 64}); // frame header: 64x24
            field.resize(padded, static_cast<std::uint8_t>(0x20 + i));
            sample.insert(sample.end(), field.begin(), field.end());
        }
        samples.push_back(std::move(sample));
    }
    return withReference("vide", "mjpb", oneEntryStsd("mjpb", true, 64, 48, {}), samples);
}

// E-AC-3 syncframes of `blocks` audio blocks each (one sample holds 1536 samples, so six
// blocks' worth), with or without a dependent substream frame after each independent one.
// Their contents are filler; the CRC is made right.
CodecStream eac3Frames(int blocks, bool dependent) {
    const int codes[] = {0, 0, 1, 2, 0, 0, 3};
    const auto frame = [&](int type, std::uint32_t bytes, std::uint8_t fill) {
        Bytes f(bytes, fill);
        f[0] = 0x0B;
        f[1] = 0x77;
        const std::uint32_t words = bytes / 2 - 1;
        f[2] = static_cast<std::uint8_t>(type << 6 | (words >> 8));
        f[3] = static_cast<std::uint8_t>(words);
        f[4] = static_cast<std::uint8_t>(0 << 6 | codes[blocks] << 4 | 2 << 1); // 48 kHz, stereo
        f[5] = static_cast<std::uint8_t>(16 << 3);                              // bsid 16
        const std::uint16_t crc = static_cast<std::uint16_t>(
            av_crc(av_crc_get_table(AV_CRC_16_ANSI), 0, f.data() + 2, bytes - 4));
        // av_crc gives this CRC with its bytes swapped.
        f[bytes - 2] = static_cast<std::uint8_t>(crc);
        f[bytes - 1] = static_cast<std::uint8_t>(crc >> 8);
        return f;
    };
    std::vector<Bytes> samples;
    for (int i = 0; i < 6; ++i) {
        Bytes sample;
        for (int b = 0; b < 6; b += blocks) {
            const Bytes ind = frame(0, 160 + 20 * static_cast<std::uint32_t>(blocks), 0x40 + i);
            sample.insert(sample.end(), ind.begin(), ind.end());
            if (dependent) {
                const Bytes dep = frame(1, 128, 0x60 + i);
                sample.insert(sample.end(), dep.begin(), dep.end());
            }
        }
        samples.push_back(std::move(sample));
    }
    return withReference("soun", "ec-3", oneEntryStsd("ec-3", false, 2, 48000, {}), samples);
}

// A P-VOP with vop_coded 0 after every third picture: start code, type, time, stuffing.
CodecStream mpeg4NotCoded(const std::string& dir) {
    CodecStream s = ffmpegVideo(dir, "mp4v", "testsrc=size=64x48:rate=25",
                                {"-c:v", "mpeg4", "-g", "12", "-bf", "0"});
    // ffmpeg's VOL for 25 frames a second has a time resolution of 25: five bits of time
    // increment. P, no second added, marker, increment 3, marker, not coded, stuffing.
    const Bytes notCoded = {0x00, 0x00, 0x01, 0xB6, 0x51, 0xCF};
    std::vector<Bytes> samples;
    std::vector<bool> sync;
    for (std::size_t i = 0; i < s.samples.size(); ++i) {
        samples.push_back(s.samples[i]);
        sync.push_back(s.sync[i]);
        if (i % 3 == 2) {
            samples.push_back(notCoded);
            sync.push_back(false);
        }
    }
    s.samples = std::move(samples);
    s.sync = std::move(sync);
    return s;
}
