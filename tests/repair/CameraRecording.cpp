#include "CameraRecording.h"

#include "Process.h"

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
