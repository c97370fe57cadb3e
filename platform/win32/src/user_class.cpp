// Window classes: registration and look-up.  Classes are found by name without regard to
// letter case, or by atom; a name is registered once per process.
#include "user_internal.h"

#include <cstring>

using namespace w32c::user;

namespace {

ATOM Register(UINT style, WNDPROC proc, int cls_extra, int wnd_extra, HINSTANCE instance,
              HICON icon, HCURSOR cursor, HBRUSH background, LPCSTR name) {
  if (!proc || !name || (!IS_INTRESOURCE(name) && !*name) || IS_INTRESOURCE(name) ||
      cls_extra < 0 || wnd_extra < 0 || cls_extra > 40 || wnd_extra > 4096) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (strlen(name) > 255) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Guard g(UserMutex());
  if (FindClassLocked(name)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto c = std::make_shared<WindowClass>();
  c->name = name;
  c->atom = NewAtomLocked();
  c->style = style;
  c->proc = proc;
  c->cls_extra = cls_extra;
  c->wnd_extra = wnd_extra;
  c->instance = instance;
  c->icon = icon;
  c->cursor = cursor;
  c->background = background;
  ClassesLocked().push_back(c);
  return c->atom;
}

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* c) {
  if (!c) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return Register(c->style, c->lpfnWndProc, c->cbClsExtra, c->cbWndExtra, c->hInstance,
                  c->hIcon, c->hCursor, c->hbrBackground, c->lpszClassName);
}

ATOM RegisterClassExA(const WNDCLASSEXA* c) {
  if (!c || c->cbSize != sizeof(WNDCLASSEXA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return Register(c->style, c->lpfnWndProc, c->cbClsExtra, c->cbWndExtra, c->hInstance,
                  c->hIcon, c->hCursor, c->hbrBackground, c->lpszClassName);
}

BOOL UnregisterClassA(LPCSTR name, HINSTANCE) {
  Guard g(UserMutex());
  auto c = FindClassLocked(name);
  if (!c || c->system) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  for (auto& [key, w] : AllWindowsLocked()) {
    if (w->cls == c) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
  }
  std::erase(ClassesLocked(), c);
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR name, LPWNDCLASSA out) {
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  auto c = FindClassLocked(name);
  if (!c) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  out->style = c->style;
  out->lpfnWndProc = c->proc;
  out->cbClsExtra = c->cls_extra;
  out->cbWndExtra = c->wnd_extra;
  out->hInstance = c->instance;
  out->hIcon = c->icon;
  out->hCursor = c->cursor;
  out->hbrBackground = c->background;
  out->lpszMenuName = nullptr;
  out->lpszClassName = name;
  return TRUE;
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int size) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w || !w->cls) return 0;
  if (!buffer || size <= 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  size_t n = std::min(w->cls->name.size(), static_cast<size_t>(size - 1));
  memcpy(buffer, w->cls->name.data(), n);
  buffer[n] = 0;
  return static_cast<int>(n);
}

ULONG_PTR GetClassLongPtrA(HWND hwnd, int index) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w || !w->cls) return 0;
  switch (index) {
    case GCLP_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(w->cls->background);
    case GCL_STYLE: return w->cls->style;
    case GCLP_WNDPROC: return reinterpret_cast<ULONG_PTR>(w->cls->proc);
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
  }
}
