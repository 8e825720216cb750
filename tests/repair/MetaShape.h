#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Whether a metadata sample has the shape its sample entry promises, read independently of
// the writer: gpmd as nested GPMF KLV opening with DEVC, mebx as [size][key index][value]
// items with key indexes 1..keys, djmd as protobuf fields; rtmd is checked across samples.
bool wellFormedSample(const std::string& fourcc, const std::vector<std::uint8_t>& sample,
                      std::uint32_t keys);
