// A module with an export table, a module entry and an unlisted function.
#include <windows.h>

namespace {
int g_attach = 0;
int g_detach = 0;
}

extern "C" {
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ++g_attach;
  if (reason == DLL_PROCESS_DETACH) ++g_detach;
  return TRUE;
}
int TestAdd(int a, int b) { return a + b; }
int TestAttachCount(void) { return g_attach; }
int TestUnnumbered(void) { return 42; }
// Not in the export table: must not be visible outside the module.
int TestHidden(void) { return -1; }
}
