// A module with an export table, a module entry and an unlisted function.
#include <windows.h>

#include <stdlib.h>

namespace {
int g_attach = 0;
int g_thread_attach = 0;
int g_thread_detach = 0;
}

extern "C" {
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    // Lets a test see a module that refuses to load.
    if (getenv("W32C_TESTMOD_REFUSE")) return FALSE;
    ++g_attach;
  }
  if (reason == DLL_THREAD_ATTACH) ++g_thread_attach;
  if (reason == DLL_THREAD_DETACH) ++g_thread_detach;
  return TRUE;
}
int TestAdd(int a, int b) { return a + b; }
int TestAttachCount(void) { return g_attach; }
int TestThreadCounts(void) { return g_thread_attach * 100 + g_thread_detach; }
int TestDisableThreadCalls(HMODULE self) { return DisableThreadLibraryCalls(self); }
int TestUnnumbered(void) { return 42; }
// Not in the export table: must not be visible outside the module.
int TestHidden(void) { return -1; }
}
