// Unreduce fuzz target.  Byte 0: block size (bits 0-1) and factor (bits 2-3, plus 1);
// bytes 1-3: the uncompressed size; the rest is a reduced stream.
#include "archiver/codecs/fuzz/fuzz_input.h"
#include "archiver/codecs/unreduce.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace codecs;
  if (size < 4) return 0;
  MemoryInput in(data + 4, size - 4, fuzz::BlockSize(data[0]));
  fuzz::CappedOutput out;
  try {
    Unreduce(in, out, 1 + ((data[0] >> 2) & 3), fuzz::Read24(data + 1));
  } catch (const std::length_error&) {
  }
  return 0;
}
