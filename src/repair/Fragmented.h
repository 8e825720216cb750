#pragma once

#include "OwnIndex.h"

#include <optional>

namespace repair {

// A fragmented recording (a moov whose mvex announces fragments, then moof and mdat pairs)
// read as its own index: every track's samples in decode order, as its fragments list
// them, up to the first one the file does not hold whole; a traf's run of samples is a
// chunk. Nothing when the file is not fragmented or a whole moov closes its fragments (a
// hybrid recording that was finished). Memory grows with the samples the fragments list.
std::optional<OwnIndex> readFragmentedIndex(const ByteSource& file);

} // namespace repair
