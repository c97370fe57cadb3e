// The .reg text format regedit exports and imports ("Windows Registry Editor Version
// 5.00"): one file per root key here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "registry_tree.h"

namespace w32c {

// Reads a whole file (UTF-16LE with a byte-order mark, or UTF-8 with or without one)
// into `root`, the root key named `root_name`.  Besides keys and values it applies the
// import forms [-KEY] (delete a key and its subkeys) and "name"=- (delete a value).
// False for a damaged file, with the 1-based line and what is wrong.
bool ParseRegFile(const uint8_t* data, size_t size, const std::u16string& root_name,
                  RegKey* root, int* line, std::string* error);

// The file regedit would export for the root: UTF-16LE, byte-order mark, CRLF.
std::vector<uint8_t> FormatRegFile(const RegKey& root, const std::u16string& root_name);

}  // namespace w32c
