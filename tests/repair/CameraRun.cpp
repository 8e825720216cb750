#include "CameraRun.h"

#include "MediaFixture.h"
#include "Process.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

const camlayout::TruthChunk* nearestChunk(const camlayout::Truth& t, std::uint64_t target,
                                          const char* handler) {
    const camlayout::TruthChunk* best = nullptr;
    const auto distance = [&](const camlayout::TruthChunk& k) {
        return k.offset > target ? k.offset - target : target - k.offset;
    };
    for (const auto& k : t.chunks) {
        const bool fits = handler ? t.tracks[k.track].handler == handler : k.offset > t.mdatData;
        if (fits && (!best || distance(k) < distance(*best))) {
            best = &k;
        }
    }
    return best;
}

std::uint64_t chunkCut(const camlayout::Truth& t, std::uint64_t target, const char* handler) {
    const camlayout::TruthChunk* c = nearestChunk(t, target, handler);
    return !c ? 0 : handler ? c->offset + c->size / 2 : c->offset;
}

std::uint64_t afterLastVideoChunk(const camlayout::Truth& t) {
    std::uint64_t end = 0;
    for (const auto& c : t.chunks) {
        end = t.tracks[c.track].handler == "vide" ? std::max(end, c.offset + c.size) : end;
    }
    return end;
}

std::uint64_t mdatAt(const camlayout::Truth& t, double share) {
    return t.mdatData +
           static_cast<std::uint64_t>(static_cast<double>(t.mdatEnd - t.mdatData) * share);
}

bool layOutRecording(const camlayout::CameraKind& k, const camlayout::ContentLook& look,
                     const camlayout::LayoutOptions& options, const std::string& path,
                     camlayout::Truth& truth) {
    const std::string content = path + ".content.mov";
    const RunResult made = runProgram(camlayout::contentArguments(k, look, content));
    if (made.status != 0) {
        std::cerr << k.name << ": ffmpeg: " << made.output << "\n";
        return false;
    }
    try {
        truth = camlayout::layOut(k, camlayout::readContent(content), path, options);
    } catch (const std::exception& e) {
        std::cerr << k.name << ": " << e.what() << "\n";
        return false;
    }
    std::filesystem::remove(content);
    return true;
}

camlayout::ContentLook referenceLook(double seconds) {
    camlayout::ContentLook look;
    look.pattern = "testsrc2";
    look.noiseSeed = 2;
    look.seconds = seconds;
    return look;
}

std::string label(const camlayout::TruthTrack& t) {
    return std::to_string(t.id) + " " + t.handler + " " + t.fourcc;
}

std::string figure(const TrackScore& s) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%llu/%llu (%.1f%%)",
                  static_cast<unsigned long long>(s.recovered),
                  static_cast<unsigned long long>(s.expected), 100.0 * s.share());
    return buf;
}

bool aboveFloor(const TrackScore& s) {
    return s.recovered >= static_cast<std::uint64_t>(std::ceil(kFloor * s.expected));
}

int runCameraKinds(int argc, char** argv, const char* prefix, std::vector<std::string> kinds,
                   const MakeRun& make) {
    std::vector<std::string> named(argv + 1, argv + argc);
    std::size_t part = 0, parts = 1;
    if (named.size() == 2 && named[0] == "--part") {
        part = std::stoul(named[1]) - 1;
        parts = std::stoul(named[1].substr(named[1].find('/') + 1));
        named.clear();
    }
    if (kinds.empty()) {
        for (const auto& k : camlayout::cameraKinds()) {
            kinds.push_back(k.name);
        }
    }
    return inTempDir(prefix, [&](Checks& c, const std::string& dir) {
        const auto run = make(c, dir);
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            const auto* k = camlayout::findKind(kinds[i]);
            c.expect(k != nullptr, "camera kind " + kinds[i]);
            const bool picked =
                named.empty() ? i % parts == part
                              : std::find(named.begin(), named.end(), kinds[i]) != named.end();
            if (k && picked) {
                run->kind(*k);
            }
        }
    });
}
