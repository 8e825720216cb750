#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A small moov reader of the tests' own, apart from the engine's: the sample tables of a
// file as any player would see them.

struct TableSample {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::uint64_t dts = 0;
    std::uint32_t duration = 0;
    bool sync = true;                   // listed in stss, or no stss
    std::int64_t compositionOffset = 0; // from ctts
};

struct TableTrack {
    std::uint32_t id = 0;
    std::string handler;
    std::string fourcc; // first sample entry
    std::uint32_t timescale = 0;
    std::vector<TableSample> samples; // decode order
    bool hasStss = false;
    bool hasCtts = false;
};

struct TopBox {
    std::string type;
    std::uint64_t offset = 0;
    std::uint64_t header = 0; // 8, or 16 with a 64-bit size
    std::uint64_t size = 0;   // as written (may run past the end of a cut file)
};
// The top-level boxes, up to the end of the file or the first size that makes no sense.
std::vector<TopBox> topBoxes(const std::string& path);

// nullopt (and why in `error`) when the file has no readable moov.
std::optional<std::vector<TableTrack>> readTables(const std::string& path, std::string& error);
