// What every module built with ps_win32_module() tells the stand-in about itself when it
// is loaded: its name, its export table (names with ordinals) and its compiled resources.
#pragma once
#include <win32compat/types.h>

struct W32CExport {
  WORD ordinal;      // 0 for an export without an ordinal
  const char* name;  // nullptr ends the table
};

struct W32CModuleInfo {
  const char* name;             // module name from the export table's LIBRARY line
  const W32CExport* exports;    // the export table, ended by a nullptr name
  size_t export_count;
  const unsigned char* resources;  // the module's .res image, or nullptr
  size_t resources_size;
  // The module's DllMain when its export table lists one.
  BOOL (*dll_main)(HINSTANCE, DWORD, LPVOID);
};

// Called from a module's constructor and destructor (generated code).  Attaching a module
// that exports DllMain calls it with DLL_PROCESS_ATTACH; detaching with DLL_PROCESS_DETACH.
W32C_API void Win32CompatModuleAttach(const W32CModuleInfo* info);
W32C_API void Win32CompatModuleDetach(const W32CModuleInfo* info);
