// Shared between the module loader and the resource reader.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace w32c {

// Where a module's resources live.
enum class ResourceImage {
  kNone,
  kRes,  // the .res stream windres writes (a sequence of resource entries)
  kPe,   // a whole PE file; the resources are in its resource section
};

struct ModuleResources {
  ResourceImage kind = ResourceImage::kNone;
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// The resources of a module (nullptr: the program itself).  False for a handle that is
// not a live module.
bool GetModuleResources(HMODULE module, ModuleResources* out);

// Delivers DLL_THREAD_ATTACH or DLL_THREAD_DETACH to every attached module that wants it.
void NotifyThread(DWORD reason);

}  // namespace w32c
