// Explode: ZIP method 6 (imploding): LZ77 over a 4 KB or 8 KB dictionary with
// Shannon-Fano coded lengths and distances and, optionally, coded literals.
#pragma once

#include <cstdint>

#include "archiver/codecs/bit_reader.h"
#include "archiver/codecs/member_io.h"

namespace codecs {

inline constexpr uint16_t kImplodeFlag8kDictionary = 0x02;
inline constexpr uint16_t kImplodeFlagLiteralTree = 0x04;

// `flags` is the member's general-purpose flag word; `compressed_size` picks the distance
// table's lookup bits (8 above 200000 bytes, else 7: the output is the same either way).
// Produces `uncompressed_size` bytes (never more); kBadData for bad trees or an invalid
// code, kTruncated when the input ends first.  Bad trees produce no output.
LegacyStatus Explode(MemberInput& in, MemberOutput& out, uint16_t flags, uint64_t compressed_size,
                     uint64_t uncompressed_size);

}  // namespace codecs
