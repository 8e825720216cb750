#pragma once

#include "codec/Codec.h"
#include "codec/Composition.h"
#include "codec/H264Nal.h"
#include "codec/NalSyntax.h"

namespace repair {

// The order rules a picture's slice header is read with: its SPS (H.264), or for HEVC one
// of order type 0 with the SPS's picture order count size.
Sps orderRules(VideoCodec codec, const SliceHeader& first, const ParamSets& params);

// What the reference tells about display order: the picture order count step of its own
// first pictures, and its writer's B-frame delay.
OrderHints nalOrderHints(const CodecSetup& setup, VideoCodec codec, const AvcConfig& config);

} // namespace repair
