// The .res parser on arbitrary bytes: it must fail cleanly or return entries that lie
// inside the input.
#include <cstdlib>

#include "../src/res_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<w32c::ResEntry> entries;
  std::string error;
  if (w32c::ParseResImage(data, size, &entries, &error))
    for (const w32c::ResEntry& e : entries)
      if (e.data < data || e.data + e.size > data + size) abort();
  return 0;
}
