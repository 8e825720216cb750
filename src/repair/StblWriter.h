#pragma once

#include "BoxWriter.h"
#include "SampleTables.h"

namespace repair {

// Writes an stbl box: the reference's sample description and the new tables.
void writeStbl(BoxWriter& w, const std::vector<std::uint8_t>& stsd, const TrackTables& t,
               std::uint32_t sampleDuration);

} // namespace repair
