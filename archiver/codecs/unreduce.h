// Unreduce: ZIP methods 2 to 5 (reducing with compression factors 1 to 4): follower-set
// coded bytes run through a repeat-expanding state machine over a 16 KB window.
#pragma once

#include <cstdint>

#include "archiver/codecs/bit_reader.h"
#include "archiver/codecs/member_io.h"

namespace codecs {

// Produces `uncompressed_size` bytes (never more), stopping early with kTruncated when
// the input ends.  `factor` is the method minus 1; outside 1-4 gives kBadData.
LegacyStatus Unreduce(MemberInput& in, MemberOutput& out, unsigned factor, uint64_t uncompressed_size);

}  // namespace codecs
