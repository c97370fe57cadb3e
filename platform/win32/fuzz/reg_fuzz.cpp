// The .reg file parser on arbitrary bytes; whatever it accepts must write out and read
// back to the same file.
#include <cstdlib>

#include "../src/registry_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  w32c::RegKey root;
  int line = 0;
  std::string error;
  if (!w32c::ParseRegFile(data, size, u"HKEY_CURRENT_USER", &root, &line, &error)) return 0;
  std::vector<uint8_t> text = w32c::FormatRegFile(root, u"HKEY_CURRENT_USER");
  w32c::RegKey again;
  if (!w32c::ParseRegFile(text.data(), text.size(), u"HKEY_CURRENT_USER", &again, &line, &error)) abort();
  if (w32c::FormatRegFile(again, u"HKEY_CURRENT_USER") != text) abort();
  return 0;
}
