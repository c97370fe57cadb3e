// Dialog templates from untrusted bytes: creating a dialog from any input either fails
// cleanly or gives a dialog that can be destroyed.
#include <windows.h>
#include <win32compat/headless.h>

#include <cstddef>
#include <cstdint>

namespace {
INT_PTR Proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HWND dlg = Win32CompatCreateDialogFromBytes(nullptr, data, size, nullptr, Proc, 0);
  if (dlg) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    DestroyWindow(dlg);
  }
  return 0;
}
