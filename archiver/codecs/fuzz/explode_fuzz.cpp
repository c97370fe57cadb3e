// Explode fuzz target.  Byte 0: block size (bits 0-1), the general flags' dictionary and
// literal-tree bits (bits 3-4), and whether the member counts as large (bit 5, for 8
// distance lookup bits); bytes 1-3: the uncompressed size; the rest is an imploded stream.
#include "archiver/codecs/explode.h"
#include "archiver/codecs/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace codecs;
  if (size < 4) return 0;
  MemoryInput in(data + 4, size - 4, fuzz::BlockSize(data[0]));
  fuzz::CappedOutput out;
  const uint16_t flags = (data[0] >> 2) & 6;
  const uint64_t csize = (data[0] & 0x20) ? 300000 : size - 4;
  try {
    Explode(in, out, flags, csize, fuzz::Read24(data + 1));
  } catch (const std::length_error&) {
  }
  return 0;
}
