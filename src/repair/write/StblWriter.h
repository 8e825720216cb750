#pragma once

#include "box/BoxWriter.h"
#include "write/SampleTables.h"

namespace repair {

// Writes an stbl box: the reference's sample descriptions and the new tables.
void writeStbl(BoxWriter& w, const std::vector<std::uint8_t>& stsd, const TrackTables& t);

} // namespace repair
