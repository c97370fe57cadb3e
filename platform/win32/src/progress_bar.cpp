// The progress bar class "msctls_progress32" and the common-controls entry points.
#include "user_internal.h"

#include <algorithm>

using namespace w32c::user;

namespace {

int Clamp(const ProgressState& p, long long v) {
  long long lo = std::min(p.low, p.high), hi = std::max(p.low, p.high);
  return static_cast<int>(std::clamp(v, lo, hi));
}

// Stepping past either end starts over from the other one.
int Wrap(const ProgressState& p, long long v) {
  long long lo = std::min(p.low, p.high), hi = std::max(p.low, p.high);
  long long span = hi - lo;
  if (span <= 0) return static_cast<int>(lo);
  if (v > hi) return static_cast<int>(lo + (v - lo) % span);
  if (v < lo) return static_cast<int>(hi - (hi - v) % span);
  return static_cast<int>(v);
}

LRESULT PackRange(const ProgressState& p) {
  return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(static_cast<WORD>(p.low),
                                                          static_cast<WORD>(p.high))));
}

void Paint(HWND hwnd) {
  ProgressState p;
  DWORD style = 0;
  RECT client{};
  {
    Guard g(UserMutex());
    auto w = FindLocked(hwnd);
    if (!w) return;
    p = w->progress;
    style = w->style;
    client = RECT{0, 0, ClientWidth(*w), ClientHeight(*w)};
  }
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  COLORREF bk = p.background == CLR_DEFAULT ? GetSysColor(COLOR_3DFACE) : p.background;
  COLORREF bar = p.bar == CLR_DEFAULT ? GetSysColor(COLOR_HIGHLIGHT) : p.bar;
  HBRUSH bk_brush = CreateSolidBrush(bk);
  HBRUSH bar_brush = CreateSolidBrush(bar);
  FillRect(dc, &client, bk_brush);
  long long lo = std::min(p.low, p.high), hi = std::max(p.low, p.high);
  RECT inner = client;
  InflateRect(&inner, -1, -1);
  long long done = hi > lo ? p.pos - lo : 0;
  long long span = hi > lo ? hi - lo : 1;
  RECT r = inner;
  if (style & PBS_VERTICAL) {
    long long h = std::max<LONG>(inner.bottom - inner.top, 0);
    r.top = inner.bottom - static_cast<LONG>(h * done / span);
  } else {
    long long wdt = std::max<LONG>(inner.right - inner.left, 0);
    r.right = inner.left + static_cast<LONG>(wdt * done / span);
  }
  if (!IsRectEmpty(&r)) FillRect(dc, &r, bar_brush);
  DeleteObject(bk_brush);
  DeleteObject(bar_brush);
  EndPaint(hwnd, &ps);
}

}  // namespace

namespace w32c::user {

LRESULT ProgressProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_PAINT) {
    Paint(hwnd);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  if (msg < PBM_SETRANGE || (msg > PBM_GETBARCOLOR && msg != PBM_SETBKCOLOR))
    return DefWindowProcA(hwnd, msg, wparam, lparam);
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  if (!w) return 0;
  ProgressState& p = w->progress;
  LRESULT result = 0;
  bool changed = true;
  switch (msg) {
    case PBM_SETRANGE:
      result = PackRange(p);
      p.low = LOWORD(lparam);
      p.high = HIWORD(lparam);
      p.pos = Clamp(p, p.pos);
      break;
    case PBM_SETRANGE32:
      result = PackRange(p);
      p.low = static_cast<int>(wparam);
      p.high = static_cast<int>(lparam);
      p.pos = Clamp(p, p.pos);
      break;
    case PBM_GETRANGE: {
      if (auto* r = reinterpret_cast<PBRANGE*>(lparam)) *r = PBRANGE{p.low, p.high};
      result = wparam ? p.low : p.high;
      changed = false;
      break;
    }
    case PBM_SETPOS:
      result = p.pos;
      p.pos = Clamp(p, static_cast<int>(wparam));
      break;
    case PBM_GETPOS:
      result = p.pos;
      changed = false;
      break;
    case PBM_DELTAPOS:
      result = p.pos;
      p.pos = Clamp(p, static_cast<long long>(p.pos) + static_cast<int>(wparam));
      break;
    case PBM_SETSTEP:
      result = p.step;
      p.step = static_cast<int>(wparam);
      changed = false;
      break;
    case PBM_STEPIT:
      result = p.pos;
      p.pos = Wrap(p, static_cast<long long>(p.pos) + p.step);
      break;
    case PBM_SETBARCOLOR:
      result = static_cast<LRESULT>(p.bar);
      p.bar = static_cast<COLORREF>(lparam);
      break;
    case PBM_SETBKCOLOR:
      result = static_cast<LRESULT>(p.background);
      p.background = static_cast<COLORREF>(lparam);
      break;
    case PBM_GETBARCOLOR:
      result = static_cast<LRESULT>(p.bar);
      changed = false;
      break;
    case PBM_GETBKCOLOR:
      result = static_cast<LRESULT>(p.background);
      changed = false;
      break;
    default:
      // PBM_SETSTATE, PBM_SETMARQUEE and the like: not available.
      changed = false;
      break;
  }
  if (changed) InvalidateLocked(*w, nullptr, false);
  return result;
}

}  // namespace w32c::user

void InitCommonControls(void) {}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* icc) {
  if (!icc || icc->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
