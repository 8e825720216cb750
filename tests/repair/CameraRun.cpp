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

void CameraRun::keepShare(const std::string& group, const std::string& row, double share) {
    const auto key = std::make_pair(group, row);
    if (!minShare_.count(key)) {
        rows_.push_back(key);
        minShare_[key] = share;
    }
    minShare_[key] = std::min(minShare_[key], share);
}

void CameraRun::keepStatus(const std::string& group, int status) {
    if (statuses_.empty() || statuses_.back().first != group) {
        statuses_.emplace_back(group, "");
    }
    statuses_.back().second += std::to_string(status) + " ";
}

void CameraRun::printSummary() const {
    std::printf("\n%-20s %-30s %s\n", "kind", "row", "bit-exact, lowest");
    for (const auto& row : rows_) {
        std::printf("%-20s %-30s %6.1f%%\n", row.first.c_str(), row.second.c_str(),
                    100.0 * minShare_.at(row));
    }
    std::printf("\n%-20s %s\n", "kind", "exit status per case");
    for (const auto& [group, statuses] : statuses_) {
        std::printf("%-20s %s\n", group.c_str(), statuses.c_str());
    }
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
        run->printSummary();
    });
}
