// Update regions, WM_PAINT, the device contexts of windows and the painting record.
#include "gdi_internal.h"

#include <cstring>

using namespace w32c::user;

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  Guard g(UserMutex());
  if (!hwnd) {
    // The whole screen: every top-level window.
    for (auto& [key, w] : AllWindowsLocked())
      if (!w->is_desktop && !(w->style & WS_CHILD)) InvalidateLocked(*w, nullptr, erase);
    return TRUE;
  }
  auto w = FindLockedOrFail(hwnd);
  if (!w) return FALSE;
  InvalidateLocked(*w, rect, erase != 0);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return FALSE;
  // The update region is a rectangle: validating part of it keeps it whole unless the
  // part covers it.
  if (!rect) {
    w->update = false;
    w->erase = false;
  } else if (w->update && rect->left <= w->update_rect.left && rect->top <= w->update_rect.top &&
             rect->right >= w->update_rect.right && rect->bottom >= w->update_rect.bottom) {
    w->update = false;
    w->erase = false;
  }
  return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return FALSE;
  if (rect) *rect = w->update ? w->update_rect : RECT{0, 0, 0, 0};
  return w->update ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
  bool pending;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return FALSE;
    pending = w->update && IsVisibleLocked(*w);
  }
  if (pending) SendMessageA(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags) {
  if (region) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  std::vector<HWND> targets{hwnd};
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return FALSE;
    if (flags & RDW_ALLCHILDREN)
      for (auto& [key, other] : AllWindowsLocked())
        if (IsDescendantLocked(hwnd, other->handle)) targets.push_back(other->handle);
    for (HWND t : targets) {
      auto tw = FindLocked(t);
      if (!tw) continue;
      if (flags & RDW_INVALIDATE)
        InvalidateLocked(*tw, t == hwnd ? rect : nullptr, (flags & RDW_ERASE) != 0);
      if (flags & RDW_VALIDATE) tw->update = tw->erase = false;
    }
  }
  if (flags & RDW_UPDATENOW)
    for (HWND t : targets) UpdateWindow(t);
  return TRUE;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  if (!ps) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool erase;
  RECT paint;
  HDC dc;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return nullptr;
    erase = w->erase;
    paint = w->update ? w->update_rect : RECT{0, 0, 0, 0};
    w->update = false;
    w->erase = false;
    dc = NewWindowDcLocked(hwnd, false);
  }
  memset(ps, 0, sizeof *ps);
  ps->hdc = dc;
  ps->rcPaint = paint;
  ps->fErase = TRUE;
  if (erase) ps->fErase = SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0)
                              ? FALSE
                              : TRUE;
  return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* ps) {
  if (!ps) return FALSE;
  Guard g(UserMutex());
  if (FindGdiLocked(ps->hdc, GdiKind::kDc)) RemoveGdiLocked(ps->hdc);
  return TRUE;
}

HDC GetDC(HWND hwnd) {
  Guard g(UserMutex());
  return NewWindowDcLocked(hwnd, false);
}

HDC GetWindowDC(HWND hwnd) {
  Guard g(UserMutex());
  return NewWindowDcLocked(hwnd, true);
}

int ReleaseDC(HWND, HDC hdc) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc || dc->memory) return 0;
  RemoveGdiLocked(hdc);
  return 1;
}

size_t Win32CompatPaintOpCount(HWND hwnd) {
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  return w ? w->paint.size() : 0;
}

BOOL Win32CompatGetPaintOp(HWND hwnd, size_t index, W32CPaintOp* op) {
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  if (!w || !op || index >= w->paint.size()) return FALSE;
  *op = w->paint[index];
  return TRUE;
}

void Win32CompatClearPaintOps(HWND hwnd) {
  Guard g(UserMutex());
  if (auto w = FindLocked(hwnd)) w->paint.clear();
}
