// DefWindowProcA: the default handling every window procedure falls back to.
#include "gdi_internal.h"

#include <cstring>

using namespace w32c::user;

namespace {

LRESULT SetText(HWND hwnd, LPCSTR text) {
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  if (!w) return FALSE;
  w->text = (text && !IS_INTRESOURCE(text)) ? text : "";
  return TRUE;
}

LRESULT GetText(HWND hwnd, WPARAM size, LPSTR buffer) {
  if (!buffer || size == 0) return 0;
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  if (!w) return 0;
  size_t n = std::min(w->text.size(), static_cast<size_t>(size - 1));
  memcpy(buffer, w->text.data(), n);
  buffer[n] = 0;
  return static_cast<LRESULT>(n);
}

// Erases with the class background brush; 0 when the class has none.
LRESULT Erase(HWND hwnd, HDC hdc) {
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!w || !dc || !w->cls || !w->cls->background) return 0;
  W32CPaintOp op{};
  op.kind = W32C_PAINT_ERASE;
  op.rect = RECT{0, 0, ClientWidth(*w), ClientHeight(*w)};
  op.brush = w->cls->background;
  if (!BrushColorLocked(op.brush, &op.color)) return 0;
  op.bk_color = dc->bk_color;
  op.bk_mode = dc->bk_mode;
  RecordOnDcLocked(*dc, op);
  return 1;
}

}  // namespace

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lparam);
      if (cs) SetText(hwnd, cs->lpszName);
      return TRUE;
    }
    case WM_SETTEXT: return SetText(hwnd, reinterpret_cast<LPCSTR>(lparam));
    case WM_GETTEXT: return GetText(hwnd, wparam, reinterpret_cast<LPSTR>(lparam));
    case WM_GETTEXTLENGTH: {
      Guard g(UserMutex());
      auto w = FindLocked(hwnd);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_CLOSE) SendMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: return Erase(hwnd, reinterpret_cast<HDC>(wparam));
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      bool window_colour = msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX;
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(window_colour ? COLOR_WINDOW : COLOR_3DFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(window_colour ? COLOR_WINDOW
                                                                      : COLOR_3DFACE));
    }
    case WM_WINDOWPOSCHANGED: {
      auto* wp = reinterpret_cast<WINDOWPOS*>(lparam);
      if (!wp) return 0;
      LONG cw, ch, x, y;
      {
        Guard g(UserMutex());
        auto w = FindLocked(hwnd);
        if (!w) return 0;
        cw = ClientWidth(*w);
        ch = ClientHeight(*w);
        x = w->rect.left + w->frame.left;
        y = w->rect.top + w->frame.top;
      }
      if (!(wp->flags & SWP_NOMOVE)) SendMessageA(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
      if (!(wp->flags & SWP_NOSIZE) || (wp->flags & SWP_FRAMECHANGED))
        SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
      return 0;
    }
    case WM_QUERYENDSESSION: return TRUE;
    case WM_MOUSEACTIVATE: return 1;  // MA_ACTIVATE
    default: return 0;
  }
}
