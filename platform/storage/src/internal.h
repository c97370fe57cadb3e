// Entry points for the library's own tests, fuzz target and benchmark (not exported).
#pragma once
#include <storage/objidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "io.h"

namespace cfb {

// Opens a compound file held in memory, read-only.
HRESULT OpenStorageOnMemory(std::vector<uint8_t> bytes, IStorage** out);
// The POSIX path for a Win32-style wide path: backslashes become slashes, the drive "C:"
// is the root of the file system.
std::string PosixPath(const WCHAR* name);

}  // namespace cfb
