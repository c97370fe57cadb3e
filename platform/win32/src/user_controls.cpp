// The predefined controls "BUTTON", "STATIC" and "EDIT", and the simulated click.
#include "user_internal.h"

#include <cstring>

using namespace w32c::user;

namespace {

struct Snapshot {
  DWORD style = 0;
  LONG_PTR id = 0;
  HWND parent = nullptr;
  std::string text;
  RECT client{};
  UINT check = 0;
  bool pressed = false;
};

Snapshot Take(HWND hwnd) {
  Snapshot s;
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  if (!w) return s;
  s.style = w->style;
  s.id = w->id;
  s.parent = (w->style & WS_CHILD) ? w->parent : w->owner;
  s.text = w->text;
  s.client = RECT{0, 0, ClientWidth(*w), ClientHeight(*w)};
  s.check = w->check;
  s.pressed = w->pressed;
  return s;
}

void Notify(const Snapshot& s, HWND hwnd, WORD code) {
  if (s.parent)
    SendMessageA(s.parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(s.id), code),
                 reinterpret_cast<LPARAM>(hwnd));
}

// The brush the parent chooses for a control (WM_CTLCOLOR*), or the default one.
HBRUSH ControlBrush(const Snapshot& s, HWND hwnd, HDC dc, UINT msg) {
  LRESULT b = 0;
  if (s.parent) b = SendMessageA(s.parent, msg, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(hwnd));
  if (!b) b = DefWindowProcA(hwnd, msg, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(hwnd));
  return reinterpret_cast<HBRUSH>(b);
}

// Font and text handling shared by the controls; true when handled.
bool CommonMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  switch (msg) {
    case WM_SETFONT: {
      Guard g(UserMutex());
      if (auto w = FindLocked(hwnd)) {
        w->font = reinterpret_cast<HFONT>(wparam);
        if (LOWORD(lparam)) InvalidateLocked(*w, nullptr, true);
      }
      *result = 0;
      return true;
    }
    case WM_GETFONT: {
      Guard g(UserMutex());
      auto w = FindLocked(hwnd);
      *result = w ? reinterpret_cast<LRESULT>(w->font) : 0;
      return true;
    }
    case WM_SETTEXT:
      *result = DefWindowProcA(hwnd, msg, wparam, lparam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return true;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, TRUE);
      *result = 0;
      return true;
    default: return false;
  }
}

void ButtonClicked(HWND hwnd) {
  Snapshot s = Take(hwnd);
  UINT type = s.style & BS_TYPEMASK;
  {
    Guard g(UserMutex());
    if (auto w = FindLocked(hwnd)) {
      if (type == BS_AUTOCHECKBOX) w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      if (type == BS_AUTO3STATE) w->check = (w->check + 1) % 3;
      if (type == BS_AUTORADIOBUTTON) w->check = BST_CHECKED;
    }
  }
  Notify(s, hwnd, BN_CLICKED);
}

void PaintButton(HWND hwnd) {
  Snapshot s = Take(hwnd);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  HBRUSH brush = ControlBrush(s, hwnd, dc, WM_CTLCOLORBTN);
  if (s.style & WS_DISABLED) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  RECT r = s.client;
  UINT type = s.style & BS_TYPEMASK;
  if (type == BS_GROUPBOX) {
    RECT frame = r;
    frame.top += W32C_CHAR_HEIGHT / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    RECT t{r.left + 8, r.top, r.right - 8, r.top + W32C_CHAR_HEIGHT};
    DrawTextA(dc, s.text.c_str(), -1, &t, DT_LEFT | DT_SINGLELINE);
  } else if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || (s.style & BS_PUSHLIKE)) {
    FillRect(dc, &r, brush);
    RECT e = r;
    DrawEdge(dc, &e, (s.pressed || s.check == BST_CHECKED) ? EDGE_SUNKEN : EDGE_RAISED,
             BF_RECT | BF_ADJUST);
    DrawTextA(dc, s.text.c_str(), -1, &e, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  } else {
    FillRect(dc, &r, brush);
    int top = r.top + (r.bottom - r.top - 13) / 2;
    RECT box{r.left, top, r.left + 13, top + 13};
    DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT);
    RECT t{r.left + 17, r.top, r.right, r.bottom};
    DrawTextA(dc, s.text.c_str(), -1, &t, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  }
  EndPaint(hwnd, &ps);
}

void PaintStatic(HWND hwnd) {
  Snapshot s = Take(hwnd);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  HBRUSH brush = ControlBrush(s, hwnd, dc, WM_CTLCOLORSTATIC);
  if (s.style & WS_DISABLED) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  RECT r = s.client;
  UINT type = s.style & SS_TYPEMASK;
  switch (type) {
    case SS_BLACKRECT: FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME)); break;
    case SS_GRAYRECT: FillRect(dc, &r, GetSysColorBrush(COLOR_3DSHADOW)); break;
    case SS_WHITERECT: FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW)); break;
    case SS_ETCHEDFRAME: DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT); break;
    case SS_ICON:
    case SS_BITMAP: FillRect(dc, &r, brush); break;
    default: {
      FillRect(dc, &r, brush);
      UINT format = (s.style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
      if (type == SS_CENTER) format |= DT_CENTER | DT_WORDBREAK;
      else if (type == SS_RIGHT) format |= DT_RIGHT | DT_WORDBREAK;
      else if (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP) format |= DT_SINGLELINE;
      else format |= DT_LEFT | DT_WORDBREAK;
      if (s.style & SS_CENTERIMAGE) format |= DT_VCENTER | DT_SINGLELINE;
      DrawTextA(dc, s.text.c_str(), -1, &r, format);
      break;
    }
  }
  if (s.style & SS_SUNKEN) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
  EndPaint(hwnd, &ps);
}

void PaintEdit(HWND hwnd) {
  Snapshot s = Take(hwnd);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  bool read_only = (s.style & (ES_READONLY | WS_DISABLED)) != 0;
  HBRUSH brush = ControlBrush(s, hwnd, dc, read_only ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
  FillRect(dc, &s.client, brush);
  std::string shown = (s.style & ES_PASSWORD) ? std::string(s.text.size(), '*') : s.text;
  UINT format = DT_NOPREFIX | ((s.style & ES_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE);
  if (s.style & ES_CENTER) format |= DT_CENTER;
  if (s.style & ES_RIGHT) format |= DT_RIGHT;
  RECT r = s.client;
  DrawTextA(dc, shown.c_str(), -1, &r, format);
  EndPaint(hwnd, &ps);
}

}  // namespace

namespace w32c::user {

LRESULT ButtonProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT r;
  if (CommonMessage(hwnd, msg, wparam, lparam, &r)) return r;
  switch (msg) {
    case WM_PAINT: PaintButton(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_GETDLGCODE: {
      Snapshot s = Take(hwnd);
      UINT type = s.style & BS_TYPEMASK;
      if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) return DLGC_BUTTON | DLGC_RADIOBUTTON;
      if (type == BS_GROUPBOX) return DLGC_STATIC;
      return DLGC_BUTTON;
    }
    case WM_LBUTTONDOWN: {
      Guard g(UserMutex());
      auto w = FindLocked(hwnd);
      if (!w || (w->style & WS_DISABLED)) return 0;
      w->pressed = true;
      InvalidateLocked(*w, nullptr, true);
      return 0;
    }
    case WM_LBUTTONUP: {
      bool click;
      {
        Guard g(UserMutex());
        auto w = FindLocked(hwnd);
        if (!w) return 0;
        click = w->pressed && !(w->style & WS_DISABLED) && IsVisibleLocked(*w);
        w->pressed = false;
        InvalidateLocked(*w, nullptr, true);
      }
      if (click) ButtonClicked(hwnd);
      return 0;
    }
    case WM_KEYUP:
      if (wparam == VK_SPACE && IsWindowEnabled(hwnd)) ButtonClicked(hwnd);
      return 0;
    case BM_CLICK:
      if (IsWindowEnabled(hwnd)) ButtonClicked(hwnd);
      return 0;
    case BM_GETCHECK: {
      Guard g(UserMutex());
      auto w = FindLocked(hwnd);
      return w ? w->check : 0;
    }
    case BM_SETCHECK: {
      Guard g(UserMutex());
      if (auto w = FindLocked(hwnd)) {
        w->check = static_cast<UINT>(wparam) & 3;
        InvalidateLocked(*w, nullptr, true);
      }
      return 0;
    }
    case BM_GETSTATE: {
      Guard g(UserMutex());
      auto w = FindLocked(hwnd);
      if (!w) return 0;
      return w->check | (w->pressed ? BST_PUSHED : 0) |
             (w->queue && w->queue->focus == hwnd ? BST_FOCUS : 0);
    }
    case BM_SETSTATE: {
      Guard g(UserMutex());
      if (auto w = FindLocked(hwnd)) {
        w->pressed = wparam != 0;
        InvalidateLocked(*w, nullptr, true);
      }
      return 0;
    }
    case BM_SETSTYLE: {
      Guard g(UserMutex());
      if (auto w = FindLocked(hwnd)) {
        w->style = (w->style & ~0xFFFFu) | (static_cast<DWORD>(wparam) & 0xFFFFu);
        if (LOWORD(lparam)) InvalidateLocked(*w, nullptr, true);
      }
      return 0;
    }
    default: return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT r;
  if (CommonMessage(hwnd, msg, wparam, lparam, &r)) return r;
  switch (msg) {
    case WM_PAINT: PaintStatic(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_GETDLGCODE: return DLGC_STATIC;
    case WM_LBUTTONUP: {
      Snapshot s = Take(hwnd);
      if ((s.style & SS_NOTIFY) && !(s.style & WS_DISABLED)) Notify(s, hwnd, STN_CLICKED);
      return 0;
    }
    default: return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcA(hwnd, msg, wparam, lparam);
      {
        Guard g(UserMutex());
        if (auto w = FindLocked(hwnd)) {
          if (w->text.size() > w->text_limit) w->text.resize(w->text_limit);
          InvalidateLocked(*w, nullptr, true);
        }
      }
      Notify(Take(hwnd), hwnd, EN_CHANGE);
      return r;
    }
    case WM_CHAR: {
      {
        Guard g(UserMutex());
        auto w = FindLocked(hwnd);
        if (!w || (w->style & (ES_READONLY | WS_DISABLED))) return 0;
        if (wparam == VK_BACK) {
          if (!w->text.empty()) w->text.pop_back();
        } else if (wparam >= 0x20 && wparam < 0x100 && w->text.size() < w->text_limit) {
          w->text.push_back(static_cast<char>(wparam));
        } else {
          return 0;
        }
        InvalidateLocked(*w, nullptr, true);
      }
      Notify(Take(hwnd), hwnd, EN_CHANGE);
      return 0;
    }
    case EM_SETLIMITTEXT: {
      Guard g(UserMutex());
      if (auto w = FindLocked(hwnd)) w->text_limit = wparam ? static_cast<UINT>(wparam) : 0x7FFFFFFE;
      return 0;
    }
    case EM_GETLIMITTEXT: {
      Guard g(UserMutex());
      auto w = FindLocked(hwnd);
      return w ? w->text_limit : 0;
    }
    case EM_SETREADONLY: {
      Guard g(UserMutex());
      if (auto w = FindLocked(hwnd)) {
        if (wparam) w->style |= ES_READONLY;
        else w->style &= ~static_cast<DWORD>(ES_READONLY);
        InvalidateLocked(*w, nullptr, true);
      }
      return TRUE;
    }
    case WM_GETDLGCODE: return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_PAINT: PaintEdit(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    default: {
      LRESULT r;
      if (CommonMessage(hwnd, msg, wparam, lparam, &r)) return r;
      return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
  }
}

}  // namespace w32c::user

BOOL Win32CompatClickButton(HWND button) {
  POINT centre;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(button);
    if (!w) return FALSE;
    // A real click reaches only a window that can be seen and takes input: visible and
    // enabled itself and in every ancestor.
    bool reachable = IsVisibleLocked(*w);
    for (auto cur = w; reachable && cur && !cur->is_desktop; ) {
      if (cur->style & WS_DISABLED) reachable = false;
      if (!(cur->style & WS_CHILD)) break;
      cur = FindLocked(cur->parent);
    }
    if (!reachable) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    centre = POINT{ClientWidth(*w) / 2, ClientHeight(*w) / 2};
  }
  LPARAM at = MAKELPARAM(centre.x, centre.y);
  return PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, at) &&
         PostMessageA(button, WM_LBUTTONUP, 0, at);
}

BOOL Win32CompatClickDlgItem(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item ? Win32CompatClickButton(item) : FALSE;
}
