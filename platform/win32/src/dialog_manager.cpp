// The dialog manager: dialogs from templates, the dialog class's default processing,
// modal loops, keyboard handling and the dialog item helpers.
#include "dialog_template.h"
#include "user_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace w32c::user;

namespace {

// Dialog base units of "MS Sans Serif" 8 at 96 DPI.
constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

int DluX(int v) { return MulDiv(v, kBaseX, 4); }
int DluY(int v) { return MulDiv(v, kBaseY, 8); }

const char* ClassOfOrdinal(WORD ordinal) {
  switch (ordinal) {
    case 0x80: return "BUTTON";
    case 0x81: return "EDIT";
    case 0x82: return "STATIC";
    case 0x83: return "LISTBOX";
    case 0x84: return "SCROLLBAR";
    case 0x85: return "COMBOBOX";
    default: return nullptr;
  }
}

bool IsDialogLocked(HWND hwnd) {
  auto w = FindLocked(hwnd);
  return w && w->dialog;
}

DialogState* DialogOf(const std::shared_ptr<Window>& w) { return w ? w->dialog.get() : nullptr; }

// Messages whose result the dialog procedure returns itself instead of through
// DWLP_MSGRESULT.
bool ReturnsDirectly(UINT msg) {
  return (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) || msg == WM_INITDIALOG ||
         msg == 0x0039 /* WM_COMPAREITEM */ || msg == 0x002E /* WM_VKEYTOITEM */ ||
         msg == 0x002F /* WM_CHARTOITEM */ || msg == 0x0037 /* WM_QUERYDRAGICON */;
}

HWND FirstTabStop(HWND dialog) {
  HWND first = nullptr;
  Guard g(UserMutex());
  auto d = FindLocked(dialog);
  if (!d) return nullptr;
  for (HWND c : d->children) {
    auto w = FindLocked(c);
    if (!w) continue;
    if (!first) first = c;
    if ((w->style & WS_TABSTOP) && !(w->style & WS_DISABLED) && (w->style & WS_VISIBLE))
      return c;
  }
  return first;
}

LRESULT DefaultDialogHandling(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(hwnd, IDCANCEL);
      if (!cancel || IsWindowEnabled(cancel))
        PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    case DM_GETDEFID: {
      Guard g(UserMutex());
      auto d = DialogOf(FindLocked(hwnd));
      return d ? MAKELRESULT(d->default_id, DC_HASDEFID) : 0;
    }
    case DM_SETDEFID: {
      Guard g(UserMutex());
      if (auto d = DialogOf(FindLocked(hwnd))) d->default_id = static_cast<int>(wparam);
      return TRUE;
    }
    case WM_SETFONT: {
      Guard g(UserMutex());
      if (auto d = DialogOf(FindLocked(hwnd))) d->font = reinterpret_cast<HFONT>(wparam);
      return 0;
    }
    case WM_GETFONT: {
      Guard g(UserMutex());
      auto d = DialogOf(FindLocked(hwnd));
      return d ? reinterpret_cast<LRESULT>(d->font) : 0;
    }
    case WM_NEXTDLGCTL: {
      HWND next = LOWORD(lparam) ? reinterpret_cast<HWND>(wparam)
                                 : GetNextDlgTabItem(hwnd, GetFocus(), wparam != 0);
      if (next) SetFocus(next);
      return 0;
    }
    default: return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

}  // namespace

LRESULT DefDlgProcA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(hwnd, DWLP_DLGPROC));
  INT_PTR r = proc ? proc(hwnd, msg, wparam, lparam) : 0;
  if (ReturnsDirectly(msg)) {
    if (r || msg == WM_INITDIALOG) return r;
    return IsWindow(hwnd) ? DefaultDialogHandling(hwnd, msg, wparam, lparam) : 0;
  }
  if (!IsWindow(hwnd)) return 0;
  if (r) return GetWindowLongPtrA(hwnd, DWLP_MSGRESULT);
  return DefaultDialogHandling(hwnd, msg, wparam, lparam);
}

namespace w32c::user {

LRESULT DialogClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  return DefDlgProcA(hwnd, msg, wparam, lparam);
}

HWND CreateDialogFromTemplate(HINSTANCE instance, const uint8_t* data, size_t size,
                              HWND owner, DLGPROC proc, LPARAM param) {
  DialogTemplate t;
  if (!ParseDialogTemplate(data, size, &t)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  if (t.menu.present) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  std::string cls = "#32770";
  if (t.cls.present) {
    if (t.cls.is_ordinal) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    cls = t.cls.name;
  }
  DWORD style = t.style;
  DWORD exstyle = t.exstyle;
  if (style & DS_MODALFRAME) exstyle |= WS_EX_DLGMODALFRAME;
  bool child = (style & WS_CHILD) != 0;
  // The template gives the client area; the window grows around it.
  RECT r{DluX(t.x), DluY(t.y), DluX(t.x) + DluX(t.cx), DluY(t.y) + DluY(t.cy)};
  AdjustWindowRectEx(&r, style & ~(WS_VSCROLL | WS_HSCROLL), FALSE, exstyle);
  if (!child && owner && !(style & DS_ABSALIGN)) {
    POINT o{0, 0};
    ClientToScreen(owner, &o);
    OffsetRect(&r, o.x, o.y);
  }
  if (!child && (style & DS_CENTER)) {
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    LONG w = r.right - r.left, h = r.bottom - r.top;
    LONG left = work.left + ((work.right - work.left) - w) / 2;
    LONG top = work.top + ((work.bottom - work.top) - h) / 2;
    if (left < work.left) left = work.left;
    if (top < work.top) top = work.top;
    r = RECT{left, top, left + w, top + h};
  }
  {
    Guard g(UserMutex());
    auto c = FindClassLocked(cls.c_str());
    if (!c) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (c->wnd_extra < DLGWINDOWEXTRA) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  HWND dlg = CreateWindowExA(exstyle, cls.c_str(), t.title.name.c_str(), style & ~WS_VISIBLE,
                             r.left, r.top, r.right - r.left, r.bottom - r.top, owner,
                             nullptr, instance, nullptr);
  if (!dlg) return nullptr;
  {
    Guard g(UserMutex());
    auto w = FindLocked(dlg);
    w->dialog = std::make_unique<DialogState>();
  }
  SetWindowLongPtrA(dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
  HFONT font = nullptr;
  if (style & DS_SETFONT) {
    LOGFONTA lf{};
    lf.lfHeight = -MulDiv(t.point_size, 96, 72);
    lf.lfWeight = t.weight ? t.weight : 400;
    lf.lfItalic = t.italic;
    snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", t.font.c_str());
    font = CreateFontIndirectA(&lf);
    SendMessageA(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  for (const DialogItem& item : t.items) {
    std::string item_cls;
    if (item.cls.is_ordinal) {
      const char* name = ClassOfOrdinal(item.cls.ordinal);
      item_cls = name ? name : "";
    } else {
      item_cls = item.cls.name;
    }
    LPCSTR title = item.title.is_ordinal ? MAKEINTRESOURCEA(item.title.ordinal)
                                         : item.title.name.c_str();
    int x = DluX(item.x), y = DluY(item.y);
    HWND ctl = item_cls.empty()
                   ? nullptr
                   : CreateWindowExA(item.exstyle | WS_EX_NOPARENTNOTIFY, item_cls.c_str(),
                                     title, item.style | WS_CHILD, x, y, DluX(item.cx),
                                     DluY(item.cy), dlg,
                                     reinterpret_cast<HMENU>(static_cast<uintptr_t>(item.id)),
                                     instance,
                                     item.creation_data.empty()
                                         ? nullptr
                                         : const_cast<uint8_t*>(item.creation_data.data()));
    if (!ctl) {
      if (style & DS_NOFAILCREATE) continue;
      DestroyWindow(dlg);
      if (font) DeleteObject(font);
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (font) SendMessageA(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if ((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && item_cls == "BUTTON") {
      Guard g(UserMutex());
      if (auto d = DialogOf(FindLocked(dlg))) d->default_id = static_cast<int>(item.id);
    }
  }
  HWND focus = FirstTabStop(dlg);
  if (SendMessageA(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param) && focus &&
      IsWindow(focus))
    SetFocus(focus);
  if (!IsWindow(dlg)) return nullptr;
  if (style & WS_VISIBLE) {
    bool ended;
    {
      Guard g(UserMutex());
      auto d = DialogOf(FindLocked(dlg));
      ended = d && d->ended;
    }
    if (!ended) ShowWindow(dlg, SW_SHOWNORMAL);
  }
  return dlg;
}

INT_PTR RunModal(HWND dialog, HWND owner) {
  bool disabled_owner = false;
  if (owner && IsWindowEnabled(owner)) {
    EnableWindow(owner, FALSE);
    disabled_owner = true;
  }
  auto ended = [&](INT_PTR* result) {
    Guard g(UserMutex());
    auto d = DialogOf(FindLocked(dialog));
    if (!d) return true;
    *result = d->result;
    return d->ended;
  };
  INT_PTR result = 0;
  if (!ended(&result)) ShowWindow(dialog, SW_SHOWNORMAL);
  MSG msg;
  while (!ended(&result)) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The quit message belongs to the outer loop: post it again.
      PostQuitMessage(static_cast<int>(msg.wParam));
      result = 0;
      break;
    }
    if (got < 0) break;
    if (!IsDialogMessageA(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  if (disabled_owner) EnableWindow(owner, TRUE);
  if (IsWindow(dialog)) DestroyWindow(dialog);
  if (owner && disabled_owner) SetActiveWindow(owner);
  return result;
}

}  // namespace w32c::user

namespace {

const size_t kUnknownSize = SIZE_MAX / 4;  // CreateDialogIndirect is given no size

bool LoadTemplate(HINSTANCE instance, LPCSTR name, const uint8_t** data, size_t* size) {
  HRSRC res = FindResourceA(instance, name, RT_DIALOG);
  if (!res) return false;
  HGLOBAL h = LoadResource(instance, res);
  const void* p = h ? LockResource(h) : nullptr;
  if (!p) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  *data = static_cast<const uint8_t*>(p);
  *size = SizeofResource(instance, res);
  return true;
}

}  // namespace

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC proc,
                        LPARAM param) {
  const uint8_t* data;
  size_t size;
  if (!LoadTemplate(instance, name, &data, &size)) return nullptr;
  return CreateDialogFromTemplate(instance, data, size, parent, proc, param);
}

HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tpl, HWND parent,
                                DLGPROC proc, LPARAM param) {
  if (!tpl) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateDialogFromTemplate(instance, reinterpret_cast<const uint8_t*>(tpl), kUnknownSize,
                                  parent, proc, param);
}

HWND Win32CompatCreateDialogFromBytes(HINSTANCE instance, const void* data, size_t size,
                                      HWND parent, DLGPROC proc, LPARAM param) {
  return CreateDialogFromTemplate(instance, static_cast<const uint8_t*>(data), size, parent,
                                  proc, param);
}

namespace {

INT_PTR Modal(HINSTANCE instance, const uint8_t* data, size_t size, HWND parent, DLGPROC proc,
              LPARAM param) {
  // The owner of a modal dialog is the top-level window above the given one.
  HWND owner = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
  std::vector<uint8_t> copy;
  DialogTemplate t;
  HWND dlg = nullptr;
  if (size != kUnknownSize && ParseDialogTemplate(data, size, &t) && (t.style & WS_VISIBLE)) {
    // Shown by the modal loop, after the owner is disabled.
    copy.assign(data, data + size);
    DWORD style;
    memcpy(&style, copy.data() + (t.extended ? 12 : 0), 4);
    style &= ~WS_VISIBLE;
    memcpy(copy.data() + (t.extended ? 12 : 0), &style, 4);
    dlg = CreateDialogFromTemplate(instance, copy.data(), copy.size(), owner, proc, param);
  } else {
    dlg = CreateDialogFromTemplate(instance, data, size, owner, proc, param);
  }
  if (!dlg) return -1;
  return RunModal(dlg, owner);
}

}  // namespace

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC proc,
                        LPARAM param) {
  const uint8_t* data;
  size_t size;
  if (!LoadTemplate(instance, name, &data, &size)) return -1;
  return Modal(instance, data, size, parent, proc, param);
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tpl, HWND parent,
                                DLGPROC proc, LPARAM param) {
  if (!tpl) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return Modal(instance, reinterpret_cast<const uint8_t*>(tpl), kUnknownSize, parent, proc,
               param);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(dialog);
    if (!w) return FALSE;
    if (!w->dialog) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    w->dialog->ended = true;
    w->dialog->result = result;
  }
  ShowWindow(dialog, SW_HIDE);
  PostMessageA(dialog, WM_NULL, 0, 0);  // wakes a modal loop waiting for messages
  return TRUE;
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
  if (!msg) return FALSE;
  {
    Guard g(UserMutex());
    if (!FindLocked(dialog)) return FALSE;
    if (msg->hwnd != dialog && !IsDescendantLocked(dialog, msg->hwnd)) return FALSE;
  }
  if (msg->message == WM_KEYDOWN || msg->message == WM_CHAR) {
    LRESULT code = msg->hwnd ? SendMessageA(msg->hwnd, WM_GETDLGCODE, msg->wParam,
                                            reinterpret_cast<LPARAM>(msg))
                             : 0;
    if (!(code & DLGC_WANTALLKEYS)) {
      UINT key = static_cast<UINT>(msg->wParam);
      if (msg->message == WM_CHAR && (key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE))
        return TRUE;
      if (msg->message == WM_KEYDOWN) {
        if (key == VK_TAB && !(code & DLGC_WANTTAB)) {
          HWND next = GetNextDlgTabItem(dialog, GetFocus(), FALSE);
          if (next) SetFocus(next);
          return TRUE;
        }
        if (key == VK_RETURN) {
          int id = IDOK;
          HWND focus = GetFocus();
          LRESULT fcode = focus ? SendMessageA(focus, WM_GETDLGCODE, 0, 0) : 0;
          if (focus && (fcode & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) &&
              IsChild(dialog, focus)) {
            id = GetDlgCtrlID(focus);
          } else {
            LRESULT def = SendMessageA(dialog, DM_GETDEFID, 0, 0);
            if (HIWORD(def) == DC_HASDEFID) id = LOWORD(def);
          }
          HWND button = GetDlgItem(dialog, id);
          if (!button || IsWindowEnabled(button))
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
          return TRUE;
        }
        if (key == VK_ESCAPE) {
          HWND cancel = GetDlgItem(dialog, IDCANCEL);
          if (!cancel || IsWindowEnabled(cancel))
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
          return TRUE;
        }
      }
    }
  }
  TranslateMessage(msg);
  DispatchMessageA(msg);
  return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  {
    Guard g(UserMutex());
    if (!IsDialogLocked(dialog)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
  }
  rect->left = DluX(rect->left);
  rect->right = DluX(rect->right);
  rect->top = DluY(rect->top);
  rect->bottom = DluY(rect->bottom);
  return TRUE;
}

LONG GetDialogBaseUnits(void) { return MAKELONG(8, 16); }

HWND GetDlgItem(HWND dialog, int id) {
  Guard g(UserMutex());
  auto d = FindLockedOrFail(dialog);
  if (!d) return nullptr;
  for (HWND c : d->children) {
    auto w = FindLocked(c);
    if (w && static_cast<int>(w->id) == id) return c;
  }
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return 0;
  if (!(w->style & WS_CHILD)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return static_cast<int>(w->id);
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SetWindowTextA(item, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) {
    if (buffer && size > 0) buffer[0] = 0;
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(item, buffer, size));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL is_signed) {
  char text[16];
  if (is_signed)
    snprintf(text, sizeof text, "%d", static_cast<int>(value));
  else
    snprintf(text, sizeof text, "%u", value);
  return SetDlgItemTextA(dialog, id, text);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL is_signed) {
  char text[64];
  if (translated) *translated = FALSE;
  UINT n = GetDlgItemTextA(dialog, id, text, sizeof text);
  if (n == 0) return 0;
  char* end = nullptr;
  const char* p = text;
  while (*p == ' ') ++p;
  long long v = is_signed ? strtoll(p, &end, 10) : static_cast<long long>(strtoull(p, &end, 10));
  while (end && *end == ' ') ++end;
  if (!end || end == p || *end) return 0;
  if (is_signed ? (v < INT32_MIN || v > INT32_MAX) : (v < 0 || v > UINT32_MAX)) return 0;
  if (!is_signed && *p == '-') return 0;
  if (translated) *translated = TRUE;
  return static_cast<UINT>(v);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wparam, LPARAM lparam) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SendMessageA(item, msg, wparam, lparam) : 0;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return FALSE;
  SendMessageA(item, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item ? static_cast<UINT>(SendMessageA(item, BM_GETCHECK, 0, 0)) : 0;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  Guard g(UserMutex());
  auto d = FindLockedOrFail(dialog);
  if (!d) return nullptr;
  std::vector<HWND> stops;
  for (HWND c : d->children) {
    auto w = FindLocked(c);
    if (w && (w->style & WS_TABSTOP) && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED))
      stops.push_back(c);
  }
  if (stops.empty()) return nullptr;
  auto it = std::find(stops.begin(), stops.end(), control);
  if (it == stops.end()) return previous ? stops.back() : stops.front();
  size_t i = static_cast<size_t>(it - stops.begin());
  size_t n = stops.size();
  return stops[previous ? (i + n - 1) % n : (i + 1) % n];
}
