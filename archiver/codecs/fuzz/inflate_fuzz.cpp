// Inflate fuzz target.  Byte 0 picks the input block size; the rest is a raw deflate
// stream.  Decoding must end (any status) without touching memory outside its buffers.
#include "archiver/codecs/fuzz/fuzz_input.h"
#include "archiver/codecs/inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace codecs;
  if (size < 1) return 0;
  MemoryInput in(data + 1, size - 1, fuzz::BlockSize(data[0]));
  fuzz::CappedOutput out;
  try {
    Inflate(in, out);
  } catch (const std::length_error&) {
  }
  return 0;
}
