#include "MediaFixture.h"

#include "Process.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty()) {
            out.push_back(l);
        }
    }
    return out;
}

// "a=1|b=2" as written by ffprobe's compact format.
std::map<std::string, std::string> fields(const std::string& line) {
    std::map<std::string, std::string> out;
    std::istringstream in(line);
    for (std::string kv; std::getline(in, kv, '|');) {
        const auto eq = kv.find('=');
        if (eq != std::string::npos) {
            out[kv.substr(0, eq)] = kv.substr(eq + 1);
        }
    }
    return out;
}

std::uint64_t number(const std::map<std::string, std::string>& f, const char* key) {
    const auto it = f.find(key);
    return it == f.end() ? 0 : std::strtoull(it->second.c_str(), nullptr, 10);
}

std::vector<std::string> framemd5(const std::string& path) {
    const auto r = runProgram(
        {"ffmpeg", "-v", "error", "-i", path, "-fps_mode", "passthrough", "-f", "framemd5", "-"});
    return r.status == 0 ? lines(r.output) : std::vector<std::string>{};
}

} // namespace

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

std::vector<Packet> packets(const std::string& path) {
    std::vector<Packet> out;
    const auto r = runProgram({"ffprobe", "-v", "error", "-show_entries",
                               "packet=stream_index,pos,size", "-of", "compact=p=0", path});
    for (const auto& l : lines(r.output)) {
        const auto f = fields(l);
        out.push_back(
            {static_cast<int>(number(f, "stream_index")), number(f, "pos"), number(f, "size")});
    }
    return out;
}

std::vector<Frame> decodedFrames(const std::string& path, bool withPositions) {
    std::vector<Frame> out;
    for (const auto& l : framemd5(path)) {
        if (l[0] == '#') {
            continue;
        }
        Frame f;
        f.stream = std::atoi(l.c_str());
        // stream, dts, pts, duration, size, hash
        const auto second = l.find(',', l.find(',') + 1);
        f.pts = second == std::string::npos ? 0 : std::atoll(l.c_str() + second + 1);
        const auto comma = l.rfind(',');
        f.md5 = l.substr(comma + 1);
        f.md5.erase(0, f.md5.find_first_not_of(' '));
        out.push_back(f);
    }
    if (!withPositions) {
        return out;
    }
    // ffprobe decodes the same way; its frames, per stream, line up with framemd5's.
    const auto r = runProgram({"ffprobe", "-v", "error", "-show_entries",
                               "frame=stream_index,pkt_pos,pkt_size", "-of", "compact=p=0", path});
    std::map<int, std::size_t> next;
    for (const auto& l : lines(r.output)) {
        const auto f = fields(l);
        const int stream = static_cast<int>(number(f, "stream_index"));
        std::size_t& i = next[stream];
        while (i < out.size() && out[i].stream != stream) {
            ++i;
        }
        if (i >= out.size()) {
            return {}; // the two decodes disagree: let the caller fail
        }
        out[i].pos = number(f, "pkt_pos");
        out[i].size = number(f, "pkt_size");
        ++i;
    }
    return out;
}

bool cutCopy(const std::string& src, const std::string& dst, std::uint64_t bytes) {
    std::ifstream in(src, std::ios::binary);
    std::vector<char> data(bytes);
    in.read(data.data(), static_cast<std::streamsize>(bytes));
    if (static_cast<std::uint64_t>(in.gcount()) != bytes) {
        return false;
    }
    std::ofstream out(dst, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(bytes));
    return static_cast<bool>(out);
}

bool patchU32(const std::string& path, std::uint64_t offset, std::uint32_t value) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(offset));
    const char b[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                       static_cast<char>(value >> 8), static_cast<char>(value)};
    f.write(b, 4);
    return static_cast<bool>(f);
}

std::size_t commonInOrder(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::size_t> row(b.size() + 1, 0);
    for (const auto& x : a) {
        std::size_t diagonal = 0;
        for (std::size_t j = 0; j < b.size(); ++j) {
            const std::size_t up = row[j + 1];
            row[j + 1] = x == b[j] ? diagonal + 1 : std::max(row[j], up);
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::string makeTempDir(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}
