#pragma once

#include "MiniMoov.h"
#include "Truth.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Random access to a file's bytes, held in memory (scoring reads sound frame by frame);
// reads past its end give nothing.
class FileBytes {
public:
    explicit FileBytes(const std::string& path);
    std::uint64_t size() const { return bytes_.size(); }
    std::optional<std::vector<std::uint8_t>> read(std::uint64_t offset, std::uint64_t bytes);

private:
    std::vector<std::uint8_t> bytes_;
};

// One track of a repaired file against the original. Units are samples, or PCM frames for
// LPCM tracks (compared as a byte stream, run by run).
struct TrackScore {
    std::uint64_t expected = 0;   // complete in the original before the cut
    std::uint64_t recovered = 0;  // of those: back bit-exact, in order
    std::uint64_t extra = 0;      // in the result but nowhere in the original
    std::uint64_t misordered = 0; // in the original, but back out of order or twice
    std::uint64_t mistimed = 0;   // recovered, decode time off by more than a sample
    // The same in bytes (misordered and mistimed aside).
    std::uint64_t expectedBytes = 0, recoveredBytes = 0, extraBytes = 0;
    double share() const {
        return expected ? static_cast<double>(recovered) / static_cast<double>(expected) : 1.0;
    }
};

// Which bytes of the original a repair can bring back, and how closely times must match.
struct Kept {
    std::uint64_t begin = 0; // bytes before this are gone (a lost head)
    std::uint64_t cut = 0;   // bytes from here on are gone
    std::vector<std::pair<std::uint64_t, std::uint64_t>> damaged; // overwritten [from, to)
    long double slack = -1; // seconds; below 0: one sample's duration
    bool times = true;      // false: the start is lost, times are not compared
    bool holds(std::uint64_t offset, std::uint64_t size) const;
};

TrackScore scoreTrack(const camlayout::TruthTrack& truth, FileBytes& original, const Kept& kept,
                      const TableTrack* repaired, FileBytes& result);

// The result's track standing for the original's track `index`: the same track id and
// handler, else the same handler and sample entry at the same rank.
const TableTrack* matchTrack(const camlayout::Truth& truth, std::size_t index,
                             const std::vector<TableTrack>& repaired);

// Whether the table read from a file holds exactly the samples the layout placed.
bool tablesMatchTruth(const camlayout::TruthTrack& truth, const TableTrack& read);
