// The PE resource-section parser on arbitrary bytes: it must fail cleanly (truncations,
// offsets past the end, loops in the directory tree) or return entries inside the input.
#include <cstdlib>

#include "../src/res_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<w32c::ResEntry> entries;
  std::string error;
  if (w32c::ParsePeResources(data, size, &entries, &error))
    for (const w32c::ResEntry& e : entries)
      if (e.size && (e.data < data || e.data + e.size > data + size)) abort();
  return 0;
}
