// Window rectangles, positions, the z-order, coordinate mapping and the fixed metrics.
#include "user_internal.h"

#include <algorithm>
#include <cstdlib>

using namespace w32c::user;

namespace {

constexpr UINT kKnownPosFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW |
                                SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_SHOWWINDOW |
                                SWP_HIDEWINDOW | SWP_NOCOPYBITS | SWP_NOOWNERZORDER |
                                SWP_NOSENDCHANGING | SWP_DEFERERASE | SWP_ASYNCWINDOWPOS;

// Moves hwnd within its parent's list of children; false when `after` is no sibling.
bool Reorder(Window& parent, HWND hwnd, HWND after) {
  auto& kids = parent.children;
  if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
    std::erase(kids, hwnd);
    kids.insert(kids.begin(), hwnd);
    return true;
  }
  if (after == HWND_BOTTOM) {
    std::erase(kids, hwnd);
    kids.push_back(hwnd);
    return true;
  }
  if (after == hwnd) return true;
  if (std::find(kids.begin(), kids.end(), after) == kids.end()) return false;
  std::erase(kids, hwnd);
  kids.insert(std::find(kids.begin(), kids.end(), after) + 1, hwnd);
  return true;
}

}  // namespace

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return FALSE;
  *rect = ScreenRectLocked(*w);
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return FALSE;
  *rect = RECT{0, 0, ClientWidth(*w), ClientHeight(*w)};
  return TRUE;
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exstyle) {
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (menu) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (!(style & (WS_CHILD | WS_POPUP))) style |= WS_CAPTION;
  RECT f = FrameInsets(style & ~(WS_VSCROLL | WS_HSCROLL), exstyle);
  rect->left -= f.left;
  rect->top -= f.top;
  rect->right += f.right;
  rect->bottom += f.bottom;
  return TRUE;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) {
  return AdjustWindowRectEx(rect, style, menu, 0);
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
  if (flags & ~kKnownPosFlags) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WINDOWPOS wp{hwnd, after, x, y, cx, cy, flags};
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return FALSE;
    if (w->is_desktop) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (flags & SWP_NOMOVE) {
      wp.x = w->rect.left;
      wp.y = w->rect.top;
    }
    if (flags & SWP_NOSIZE) {
      wp.cx = w->rect.right - w->rect.left;
      wp.cy = w->rect.bottom - w->rect.top;
    }
  }
  if (!(flags & SWP_NOSENDCHANGING))
    SendMessageA(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
  bool lose_focus = false;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return FALSE;
    auto parent = FindLocked(w->parent);
    RECT old = w->rect;
    bool was_visible = (w->style & WS_VISIBLE) != 0;
    LONG ncx = std::max(wp.cx, 0), ncy = std::max(wp.cy, 0);
    w->rect = RECT{wp.x, wp.y, wp.x + ncx, wp.y + ncy};
    if (flags & SWP_FRAMECHANGED) w->frame = FrameInsets(w->style, w->exstyle);
    if (!(flags & SWP_NOZORDER) && parent) {
      if (!Reorder(*parent, hwnd, wp.hwndInsertAfter)) {
        w->rect = old;
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
      }
      if (wp.hwndInsertAfter == HWND_TOPMOST) w->exstyle |= WS_EX_TOPMOST;
      if (wp.hwndInsertAfter == HWND_NOTOPMOST) w->exstyle &= ~WS_EX_TOPMOST;
    }
    if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) {
      w->style &= ~WS_VISIBLE;
      HWND f = w->queue ? w->queue->focus : nullptr;
      lose_focus = f && (f == hwnd || IsDescendantLocked(hwnd, f));
    }
    bool visible = (w->style & WS_VISIBLE) != 0;
    bool moved = old.left != w->rect.left || old.top != w->rect.top;
    bool sized = (old.right - old.left) != (w->rect.right - w->rect.left) ||
                 (old.bottom - old.top) != (w->rect.bottom - w->rect.top);
    if (!moved) wp.flags |= SWP_NOMOVE;
    if (!sized) wp.flags |= SWP_NOSIZE;
    if (!(flags & SWP_NOREDRAW)) {
      if (visible && (sized || !was_visible || (flags & SWP_FRAMECHANGED)))
        InvalidateLocked(*w, nullptr, true);
      // What the window uncovered in its parent is repainted there.
      if ((w->style & WS_CHILD) && parent && was_visible && (moved || sized || !visible))
        InvalidateLocked(*parent, &old, true);
    }
  }
  if (lose_focus) SetFocus(nullptr);
  SendMessageA(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  return TRUE;
}

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* wp) {
  if (!wp) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return FALSE;
  wp->length = sizeof(WINDOWPLACEMENT);
  wp->flags = 0;
  wp->showCmd = (w->style & WS_VISIBLE) ? SW_SHOWNORMAL : SW_HIDE;
  wp->ptMinPosition = POINT{-1, -1};
  wp->ptMaxPosition = POINT{-1, -1};
  RECT r = w->rect;
  if (!(w->style & WS_CHILD)) {
    RECT work = WorkAreaLocked();
    OffsetRect(&r, -work.left, -work.top);
  }
  wp->rcNormalPosition = r;
  return TRUE;
}

BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* wp) {
  if (!wp || wp->length != sizeof(WINDOWPLACEMENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  switch (wp->showCmd) {
    case SW_HIDE: case SW_SHOWNORMAL: case SW_SHOW: case SW_SHOWNA: case SW_SHOWNOACTIVATE:
    case SW_RESTORE: case SW_SHOWDEFAULT: break;
    default: SetLastError(ERROR_CALL_NOT_IMPLEMENTED); return FALSE;
  }
  RECT r = wp->rcNormalPosition;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return FALSE;
    if (!(w->style & WS_CHILD)) {
      RECT work = WorkAreaLocked();
      OffsetRect(&r, work.left, work.top);
    }
  }
  if (!SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                    SWP_NOZORDER | SWP_NOACTIVATE))
    return FALSE;
  ShowWindow(hwnd, static_cast<int>(wp->showCmd));
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT pt) {
  if (!pt) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return FALSE;
  POINT o = ClientOriginLocked(*w);
  pt->x += o.x;
  pt->y += o.y;
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT pt) {
  if (!pt) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return FALSE;
  POINT o = ClientOriginLocked(*w);
  pt->x -= o.x;
  pt->y -= o.y;
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT pts, UINT count) {
  Guard g(UserMutex());
  POINT of{0, 0}, ot{0, 0};
  if (from) {
    auto w = FindLockedOrFail(from);
    if (!w) return 0;
    of = ClientOriginLocked(*w);
  }
  if (to) {
    auto w = FindLockedOrFail(to);
    if (!w) return 0;
    ot = ClientOriginLocked(*w);
  }
  LONG dx = of.x - ot.x, dy = of.y - ot.y;
  for (UINT i = 0; pts && i < count; ++i) {
    pts[i].x += dx;
    pts[i].y += dy;
  }
  SetLastError(ERROR_SUCCESS);
  return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

int GetSystemMetrics(int index) {
  Guard g(UserMutex());
  SIZE s = ScreenSizeLocked();
  RECT work = WorkAreaLocked();
  switch (index) {
    case SM_CXSCREEN: case SM_CXVIRTUALSCREEN: return s.cx;
    case SM_CYSCREEN: case SM_CYVIRTUALSCREEN: return s.cy;
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: case SM_CYMENU: return 19;
    case SM_CYSMCAPTION: return 16;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CXSIZE: case SM_CYSIZE: return 18;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return 27;
    case SM_CXFULLSCREEN: return work.right - work.left;
    case SM_CYFULLSCREEN: return work.bottom - work.top - 19;
    case SM_CXMAXIMIZED: return work.right - work.left + 8;
    case SM_CYMAXIMIZED: return work.bottom - work.top + 8;
    case SM_CMONITORS: return 1;
    default: return 0;
  }
}

BOOL SystemParametersInfoA(UINT action, UINT, PVOID param, UINT) {
  if (action != SPI_GETWORKAREA) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (!param) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  *static_cast<RECT*>(param) = WorkAreaLocked();
  return TRUE;
}

// Rectangle helpers ---------------------------------------------------------------------------

BOOL SetRect(LPRECT r, int l, int t, int rt, int b) {
  if (!r) return FALSE;
  *r = RECT{l, t, rt, b};
  return TRUE;
}
BOOL SetRectEmpty(LPRECT r) { return SetRect(r, 0, 0, 0, 0); }
BOOL CopyRect(LPRECT d, const RECT* s) {
  if (!d || !s) return FALSE;
  *d = *s;
  return TRUE;
}
BOOL InflateRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx;
  r->right += dx;
  r->top -= dy;
  r->bottom += dy;
  return TRUE;
}
BOOL OffsetRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
  return TRUE;
}
BOOL IsRectEmpty(const RECT* r) { return !r || r->right <= r->left || r->bottom <= r->top; }
BOOL PtInRect(const RECT* r, POINT p) {
  return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}
BOOL IntersectRect(LPRECT d, const RECT* a, const RECT* b) {
  if (!d || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    *d = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *d = r;
  return TRUE;
}
BOOL UnionRect(LPRECT d, const RECT* a, const RECT* b) {
  if (!d || !a || !b) return FALSE;
  if (IsRectEmpty(a)) {
    *d = IsRectEmpty(b) ? RECT{0, 0, 0, 0} : *b;
  } else if (IsRectEmpty(b)) {
    *d = *a;
  } else {
    *d = RECT{std::min(a->left, b->left), std::min(a->top, b->top),
              std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
  }
  return !IsRectEmpty(d);
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
         a->bottom == b->bottom;
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  long long p = static_cast<long long>(number) * numerator;
  // Rounded half away from zero, as Windows rounds.
  long long half = std::llabs(static_cast<long long>(denominator)) / 2;
  bool negative = (p < 0) != (denominator < 0);
  long long q = (std::llabs(p) + half) / std::llabs(static_cast<long long>(denominator));
  if (negative) q = -q;
  if (q > 0x7FFFFFFF || q < -0x7FFFFFFFLL - 1) return -1;
  return static_cast<int>(q);
}
