// Unshrink: ZIP method 1, dynamic LZW with 9- to 13-bit codes and partial clearing.
#pragma once

#include "archiver/codecs/bit_reader.h"
#include "archiver/codecs/member_io.h"

namespace codecs {

// Decodes until the input ends (a shrunk stream has no end code).  Returns kBadData for a
// code size past 13 bits or a code chain that cannot be resolved.
LegacyStatus Unshrink(MemberInput& in, MemberOutput& out);

}  // namespace codecs
