// Windows: creation and destruction, visibility, enabled state, texts, window data,
// relations, focus and the foreground window.
#include "user_internal.h"

#include <algorithm>
#include <cstring>

using namespace w32c::user;

namespace {

HWND g_foreground = nullptr;  // guarded by UserMutex

bool OwnedByThisThread(const Window& w) { return w.thread == GetCurrentThreadId(); }

LONG DefaultCoordinate(int v, int fallback) { return v == CW_USEDEFAULT ? fallback : v; }

// Sends WM_DESTROY to the window, then to its children (top first).
void SendDestroy(HWND hwnd) {
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  std::vector<HWND> kids;
  {
    Guard g(UserMutex());
    if (auto w = FindLocked(hwnd)) kids = w->children;
  }
  for (HWND k : kids) SendDestroy(k);
}

// Sends WM_NCDESTROY to the children and then to the window, and forgets them.
void SendNcDestroy(HWND hwnd) {
  std::vector<HWND> kids;
  {
    Guard g(UserMutex());
    if (auto w = FindLocked(hwnd)) kids = w->children;
  }
  for (HWND k : kids) SendNcDestroy(k);
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  if (!w) return;
  if (auto p = FindLocked(w->parent)) std::erase(p->children, hwnd);
  for (auto& [key, other] : AllWindowsLocked())
    if (other->owner == hwnd) other->owner = nullptr;
  if (w->queue) {
    std::erase_if(w->queue->timers, [&](const Timer& t) { return t.hwnd == hwnd; });
    std::erase_if(w->queue->posted, [&](const MSG& m) { return m.hwnd == hwnd; });
    if (w->queue->focus == hwnd) w->queue->focus = nullptr;
    if (w->queue->active == hwnd) w->queue->active = nullptr;
    if (w->queue->capture == hwnd) w->queue->capture = nullptr;
  }
  if (g_foreground == hwnd) g_foreground = nullptr;
  RemoveWindowLocked(hwnd);
}

HWND RootLocked(HWND hwnd) {
  auto w = FindLocked(hwnd);
  for (int depth = 0; w && depth < 1000 && (w->style & WS_CHILD) && !w->is_desktop; ++depth) {
    auto p = FindLocked(w->parent);
    if (!p || p->is_desktop) break;
    w = p;
  }
  return w ? w->handle : nullptr;
}

}  // namespace

HWND CreateWindowExA(DWORD exstyle, LPCSTR class_name, LPCSTR name, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  auto queue = CurrentQueue();
  auto w = std::make_shared<Window>();
  {
    Guard g(UserMutex());
    auto cls = class_name ? FindClassLocked(class_name) : nullptr;
    if (!cls) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (parent == HWND_MESSAGE) {
      SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
      return nullptr;
    }
    std::shared_ptr<Window> p;
    if (parent) {
      p = FindLocked(parent);
      if (!p) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
    }
    if (style & WS_CHILD) {
      if (!p) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
      }
      w->parent = parent;
      w->id = reinterpret_cast<LONG_PTR>(menu);
    } else {
      if (menu) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return nullptr;
      }
      w->parent = DesktopLocked();
      // The owner of a top-level window is always a top-level window.
      if (p && !p->is_desktop) w->owner = RootLocked(parent);
      if (!(style & WS_POPUP)) style |= WS_CAPTION | WS_CLIPSIBLINGS;
    }
    if (exstyle & WS_EX_DLGMODALFRAME) exstyle |= WS_EX_WINDOWEDGE;
    w->cls = cls;
    w->proc = cls->proc;
    w->style = style & ~WS_VISIBLE;
    w->exstyle = exstyle;
    w->instance = instance;
    w->extra.assign(static_cast<size_t>(cls->wnd_extra), 0);
    w->queue = queue;
    w->thread = queue->thread;
    bool top_level_default = !(style & (WS_CHILD | WS_POPUP));
    SIZE screen = ScreenSizeLocked();
    LONG left = top_level_default ? DefaultCoordinate(x, 0) : (x == CW_USEDEFAULT ? 0 : x);
    LONG top = (x == CW_USEDEFAULT) ? 0 : y;
    LONG cx = width, cy = height;
    if (width == CW_USEDEFAULT) {
      cx = top_level_default ? screen.cx * 3 / 4 : 0;
      cy = top_level_default ? screen.cy * 3 / 4 : 0;
    }
    if (cx < 0) cx = 0;
    if (cy < 0) cy = 0;
    w->rect = RECT{left, top, left + cx, top + cy};
    w->frame = FrameInsets(w->style, w->exstyle);
    NewWindowHandleLocked(w);
    if (auto pw = FindLocked(w->parent)) pw->children.push_back(w->handle);
  }
  HWND hwnd = w->handle;
  CREATESTRUCTA cs{};
  cs.lpCreateParams = param;
  cs.hInstance = instance;
  cs.hMenu = menu;
  cs.hwndParent = parent;
  cs.cx = w->rect.right - w->rect.left;
  cs.cy = w->rect.bottom - w->rect.top;
  cs.x = w->rect.left;
  cs.y = w->rect.top;
  cs.style = static_cast<LONG>(style);
  cs.lpszName = name;
  cs.lpszClass = class_name;
  cs.dwExStyle = exstyle;
  if (!SendMessageA(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    SendNcDestroy(hwnd);
    SetLastError(ERROR_CANNOT_MAKE);
    return nullptr;
  }
  if (SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    SetLastError(ERROR_CANNOT_MAKE);
    return nullptr;
  }
  LONG cw, ch, px, py;
  {
    Guard g(UserMutex());
    auto live = FindLocked(hwnd);
    if (!live) {
      SetLastError(ERROR_CANNOT_MAKE);
      return nullptr;
    }
    cw = ClientWidth(*live);
    ch = ClientHeight(*live);
    px = live->rect.left + live->frame.left;
    py = live->rect.top + live->frame.top;
  }
  SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
  SendMessageA(hwnd, WM_MOVE, 0, MAKELPARAM(px, py));
  if ((style & WS_CHILD) && !(exstyle & WS_EX_NOPARENTNOTIFY))
    SendMessageA(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, w->id),
                 reinterpret_cast<LPARAM>(hwnd));
  if ((style & WS_VISIBLE) && IsWindow(hwnd)) ShowWindow(hwnd, SW_SHOW);
  return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
  std::vector<HWND> owned;
  HWND parent = nullptr;
  LONG_PTR id = 0;
  bool notify = false;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return FALSE;
    if (w->is_desktop || !OwnedByThisThread(*w)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    for (auto& [key, other] : AllWindowsLocked())
      if (other->owner == hwnd && !other->destroying) owned.push_back(other->handle);
    if (w->style & WS_VISIBLE) {
      w->style &= ~WS_VISIBLE;
      if ((w->style & WS_CHILD)) {
        if (auto p = FindLocked(w->parent)) {
          RECT r = w->rect;
          InvalidateLocked(*p, &r, true);
        }
      }
    }
    if ((w->style & WS_CHILD) && !(w->exstyle & WS_EX_NOPARENTNOTIFY)) {
      notify = true;
      parent = w->parent;
      id = w->id;
    }
  }
  for (HWND o : owned) DestroyWindow(o);
  if (notify)
    SendMessageA(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, id),
                 reinterpret_cast<LPARAM>(hwnd));
  SendDestroy(hwnd);
  SendNcDestroy(hwnd);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  Guard g(UserMutex());
  return FindLocked(hwnd) != nullptr;
}

BOOL IsChild(HWND parent, HWND hwnd) {
  Guard g(UserMutex());
  return IsDescendantLocked(parent, hwnd);
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  bool was_visible, top_level;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return FALSE;
    was_visible = (w->style & WS_VISIBLE) != 0;
    top_level = !(w->style & WS_CHILD);
  }
  switch (cmd) {
    case SW_HIDE:
      if (was_visible) {
        SendMessageA(hwnd, WM_SHOWWINDOW, FALSE, 0);
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    case SW_SHOWNORMAL:
    case SW_SHOW:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE: {
      bool activate = cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE;
      if (!was_visible) {
        SendMessageA(hwnd, WM_SHOWWINDOW, TRUE, 0);
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER |
                         (activate ? 0 : SWP_NOACTIVATE));
      }
      if (activate && top_level) SetActiveWindow(hwnd);
      break;
    }
    default:
      SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
      break;
  }
  return was_visible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  return w && IsVisibleLocked(*w);
}

BOOL IsIconic(HWND) { return FALSE; }
BOOL IsZoomed(HWND) { return FALSE; }

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  bool was_disabled;
  bool clear_focus = false;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return FALSE;
    was_disabled = (w->style & WS_DISABLED) != 0;
    if (was_disabled == !enable) return was_disabled;
    if (enable) {
      w->style &= ~WS_DISABLED;
    } else {
      w->style |= WS_DISABLED;
      HWND f = w->queue ? w->queue->focus : nullptr;
      clear_focus = f && (f == hwnd || IsDescendantLocked(hwnd, f));
    }
  }
  if (clear_focus) SetFocus(nullptr);
  SendMessageA(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return was_disabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Guard g(UserMutex());
  auto w = FindLocked(hwnd);
  return w && !(w->style & WS_DISABLED);
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (!buffer || size <= 0) return 0;
  buffer[0] = 0;
  return static_cast<int>(
      SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

// Window data ------------------------------------------------------------------------------

namespace {

bool PointerIndex(int index) { return index == GWLP_WNDPROC || index == GWLP_HINSTANCE; }

bool ReadExtra(const Window& w, int index, size_t width, LONG_PTR* out) {
  if (index < 0 || static_cast<size_t>(index) + width > w.extra.size()) return false;
  if (width == sizeof(LONG)) {
    LONG v;
    memcpy(&v, w.extra.data() + index, sizeof v);
    *out = v;
  } else {
    memcpy(out, w.extra.data() + index, sizeof(LONG_PTR));
  }
  return true;
}

LONG_PTR GetLong(HWND hwnd, int index, size_t width) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return 0;
  if (width == sizeof(LONG) && sizeof(LONG) != sizeof(LONG_PTR) && PointerIndex(index)) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>((w->style & WS_CHILD) ? w->parent : w->owner);
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exstyle);
    case GWLP_USERDATA: return w->user_data;
    case GWLP_ID: return w->id;
    default: {
      LONG_PTR v = 0;
      if (!ReadExtra(*w, index, width, &v)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
      }
      return v;
    }
  }
}

LONG_PTR SetLong(HWND hwnd, int index, LONG_PTR value, size_t width) {
  DWORD old_style = 0, new_style = 0;
  int style_index = 0;
  LONG_PTR old = 0;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(hwnd);
    if (!w) return 0;
    if (w->is_desktop || !OwnedByThisThread(*w)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
    if (width == sizeof(LONG) && sizeof(LONG) != sizeof(LONG_PTR) && PointerIndex(index)) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    SetLastError(ERROR_SUCCESS);
    switch (index) {
      case GWLP_WNDPROC:
        if (!value) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return 0;
        }
        old = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
      case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(w->instance);
        w->instance = reinterpret_cast<HINSTANCE>(value);
        return old;
      case GWLP_HWNDPARENT:
        if (w->style & WS_CHILD) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return 0;
        }
        old = reinterpret_cast<LONG_PTR>(w->owner);
        w->owner = reinterpret_cast<HWND>(value);
        return old;
      case GWLP_USERDATA:
        old = w->user_data;
        w->user_data = value;
        return old;
      case GWLP_ID:
        old = w->id;
        w->id = value;
        return old;
      case GWL_STYLE:
      case GWL_EXSTYLE:
        style_index = index;
        old_style = index == GWL_STYLE ? w->style : w->exstyle;
        new_style = static_cast<DWORD>(value);
        break;
      default: {
        if (!ReadExtra(*w, index, width, &old)) {
          SetLastError(ERROR_INVALID_INDEX);
          return 0;
        }
        if (width == sizeof(LONG)) {
          LONG v = static_cast<LONG>(value);
          memcpy(w->extra.data() + index, &v, sizeof v);
        } else {
          memcpy(w->extra.data() + index, &value, sizeof value);
        }
        return old;
      }
    }
  }
  // A style change is announced before and after, as Windows does; the frame follows
  // only with SetWindowPos(SWP_FRAMECHANGED).
  STYLESTRUCT ss{old_style, new_style};
  SendMessageA(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(style_index),
               reinterpret_cast<LPARAM>(&ss));
  {
    Guard g(UserMutex());
    auto w = FindLocked(hwnd);
    if (!w) return 0;
    if (style_index == GWL_STYLE) {
      // WS_CHILD cannot be changed here: parent links stay consistent.
      w->style = (ss.styleNew & ~WS_CHILD) | (w->style & WS_CHILD);
    } else {
      w->exstyle = ss.styleNew;
    }
  }
  SendMessageA(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(style_index),
               reinterpret_cast<LPARAM>(&ss));
  return static_cast<LONG>(old_style);
}

}  // namespace

LONG GetWindowLongA(HWND hwnd, int index) {
  return static_cast<LONG>(GetLong(hwnd, index, sizeof(LONG)));
}
LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  return static_cast<LONG>(SetLong(hwnd, index, value, sizeof(LONG)));
}
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  return GetLong(hwnd, index, sizeof(LONG_PTR));
}
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  return SetLong(hwnd, index, value, sizeof(LONG_PTR));
}

// Relations ----------------------------------------------------------------------------------

HWND GetParent(HWND hwnd) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w || w->is_desktop) return nullptr;
  if (w->style & WS_CHILD) return w->parent;
  return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND SetParent(HWND, HWND) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return nullptr;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w || w->is_desktop) return nullptr;
  switch (flags) {
    case GA_PARENT: return w->parent;
    case GA_ROOT: return RootLocked(hwnd);
    case GA_ROOTOWNER: {
      HWND r = RootLocked(hwnd);
      for (int depth = 0; depth < 1000; ++depth) {
        auto rw = FindLocked(r);
        if (!rw || !rw->owner) break;
        r = rw->owner;
      }
      return r;
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

HWND GetWindow(HWND hwnd, UINT cmd) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return nullptr;
  if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (cmd == GW_OWNER) return w->owner;
  if (cmd == GW_ENABLEDPOPUP) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  auto p = FindLocked(w->parent);
  if (!p) return nullptr;
  const auto& sib = p->children;
  auto it = std::find(sib.begin(), sib.end(), hwnd);
  switch (cmd) {
    case GW_HWNDFIRST: return sib.front();
    case GW_HWNDLAST: return sib.back();
    case GW_HWNDNEXT: return (it == sib.end() || it + 1 == sib.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == sib.end() || it == sib.begin()) ? nullptr : *(it - 1);
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

HWND GetDesktopWindow(void) {
  Guard g(UserMutex());
  return DesktopLocked();
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD process) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return 0;
  if (process) *process = GetCurrentProcessId();
  return w->thread;
}

HWND FindWindowA(LPCSTR class_name, LPCSTR title) {
  Guard g(UserMutex());
  auto d = FindLocked(DesktopLocked());
  auto cls = class_name ? FindClassLocked(class_name) : nullptr;
  if (class_name && !cls) return nullptr;
  for (HWND h : d->children) {
    auto w = FindLocked(h);
    if (!w) continue;
    if (cls && w->cls != cls) continue;
    if (title && w->text != title) continue;
    return h;
  }
  return nullptr;
}

// Focus and activation ---------------------------------------------------------------------

BOOL SetForegroundWindow(HWND hwnd) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w || w->is_desktop) return FALSE;
  g_foreground = RootLocked(hwnd);
  if (auto root = FindLocked(g_foreground); root && root->queue)
    root->queue->active = g_foreground;
  return TRUE;
}

HWND GetForegroundWindow(void) {
  Guard g(UserMutex());
  return g_foreground;
}

HWND SetActiveWindow(HWND hwnd) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  HWND old = q->active;
  if (!hwnd) {
    q->active = nullptr;
    return old;
  }
  auto w = FindLockedOrFail(hwnd);
  if (!w) return nullptr;
  if (w->queue != q) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  q->active = RootLocked(hwnd);
  g_foreground = q->active;
  return old;
}

HWND GetActiveWindow(void) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  return q->active;
}

BOOL BringWindowToTop(HWND hwnd) {
  return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

HWND SetFocus(HWND hwnd) {
  auto q = CurrentQueue();
  HWND old;
  {
    Guard g(UserMutex());
    old = q->focus;
    if (hwnd) {
      auto w = FindLockedOrFail(hwnd);
      if (!w) return nullptr;
      if (w->queue != q) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
      if (w->style & WS_DISABLED) return nullptr;
    }
    if (old == hwnd) return old;
    q->focus = hwnd;
  }
  if (old) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd) SendMessageA(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus(void) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  return q->focus;
}

HWND SetCapture(HWND hwnd) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  HWND old = q->capture;
  if (FindLocked(hwnd)) q->capture = hwnd;
  return old;
}

BOOL ReleaseCapture(void) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  q->capture = nullptr;
  return TRUE;
}

HWND GetCapture(void) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  return q->capture;
}
