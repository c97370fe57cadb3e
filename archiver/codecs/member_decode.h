// One entry point over every decoder, by ZIP compression method, for the reader and for
// tests: 0 stored, 1 shrunk, 2-5 reduced, 6 imploded, 8 deflated.
#pragma once

#include <cstdint>

#include "archiver/codecs/member_io.h"

namespace codecs {

enum class DecodeOutcome : uint8_t {
  kOk = 0,
  kFailed,         // bad or short data: the member is short and fails its CRC
  kUnknownMethod,  // a method this system does not decode (tokenizing, 7, among them)
};

bool IsKnownMethod(uint16_t method);

// `flags` is the general-purpose flag word (explode reads its dictionary and tree bits).
// Exceptions of the input and output pass through as each decoder documents.
DecodeOutcome DecodeMember(uint16_t method, uint16_t flags, uint64_t compressed_size, uint64_t uncompressed_size,
                           MemberInput& in, MemberOutput& out);

}  // namespace codecs
