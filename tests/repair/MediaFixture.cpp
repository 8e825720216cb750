#include "MediaFixture.h"

#include "Process.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

bool makeRecording(const std::string& path, const Recording& rec, const char* pattern, int noise,
                   double seconds) {
    std::vector<std::string> a = {
        "ffmpeg", "-v",    "error", "-y",
        "-f",     "lavfi", "-i",    std::string(pattern) + "=size=320x240:rate=25"};
    if (rec.audioRate > 0) {
        a.insert(a.end(), {"-f", "lavfi", "-i",
                           "anoisesrc=a=0.2:r=" + std::to_string(rec.audioRate) +
                               ":s=" + std::to_string(noise)});
    }
    a.insert(a.end(), {"-t", std::to_string(seconds), "-pix_fmt", "yuv420p"});
    if (rec.hevc) {
        a.insert(a.end(), {"-c:v", "libx265", "-tag:v", "hvc1", "-x265-params",
                           "log-level=error:keyint=" + std::to_string(rec.gop) +
                               ":bframes=" + std::to_string(rec.bframes)});
    } else {
        a.insert(a.end(), {"-c:v", "libx264", "-preset", "fast", "-g", std::to_string(rec.gop),
                           "-bf", std::to_string(rec.bframes)});
    }
    if (rec.audioRate > 0) {
        a.insert(a.end(), {"-c:a", "aac", "-b:a", rec.channels == 1 ? "64k" : "128k", "-ac",
                           std::to_string(rec.channels)});
    }
    a.push_back(path);
    return runProgram(a).status == 0;
}

bool cutCopy(const std::string& src, const std::string& dst, std::uint64_t bytes) {
    const std::string data = readFile(src);
    return data.size() >= bytes && writeFile(dst, data.substr(0, bytes));
}

bool patchU32(const std::string& path, std::uint64_t offset, std::uint32_t value) {
    std::string bytes = readFile(path);
    if (offset + 4 > bytes.size()) {
        return false;
    }
    putBe(bytes, offset, value, 4);
    return writeFile(path, bytes);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void putBe(std::string& bytes, std::uint64_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) {
        bytes[at + static_cast<std::uint64_t>(i)] = static_cast<char>(v >> (8 * (n - 1 - i)));
    }
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

std::string makeTempDir(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

int inTempDir(const char* prefix, const std::function<void(Checks&, const std::string&)>& body) {
    Checks c;
    const std::string dir = makeTempDir(prefix);
    c.expect(!dir.empty(), "temporary folder");
    body(c, dir);
    if (std::getenv("KEEP_REPAIR_FILES") == nullptr) {
        std::filesystem::remove_all(dir);
    } else {
        std::cout << "files kept in " << dir << "\n";
    }
    return c.finish();
}
