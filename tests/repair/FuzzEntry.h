#pragma once

#include <cstddef>
#include <cstdint>

// One fuzz input through the box parser, the reference reader, the sample walker and the
// moov writer. The input is read both as a reference and as a broken file (against a
// fixed camera configuration), and as a file that carries its own index. Returns false
// when an invariant of the results breaks.
bool fuzzOne(const std::uint8_t* data, std::size_t size);
