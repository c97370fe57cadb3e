// Unshrink fuzz target.  Byte 0 picks the input block size; the rest is a shrunk stream.
#include "archiver/codecs/fuzz/fuzz_input.h"
#include "archiver/codecs/unshrink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace codecs;
  if (size < 1) return 0;
  MemoryInput in(data + 1, size - 1, fuzz::BlockSize(data[0]));
  fuzz::CappedOutput out;
  try {
    Unshrink(in, out);
  } catch (const std::length_error&) {
  }
  return 0;
}
