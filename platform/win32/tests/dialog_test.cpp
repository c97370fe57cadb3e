// Dialogs from templates compiled by windres into this program's resources: pixel
// rectangles, centring, the dialog procedure, the progress bar, clicks, modal loops.
#include <windows.h>
#include <commctrl.h>
#include <win32compat/headless.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Seen {
  LPARAM init_param = 0;
  HFONT font_of_103 = nullptr;
  std::vector<WPARAM> commands;
  bool end_on_cancel = false;
  HWND owner = nullptr;
  bool owner_enabled_at_init = true;
};
Seen* g_seen = nullptr;

INT_PTR DialogProc(HWND dlg, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_INITDIALOG:
      g_seen->init_param = l;
      g_seen->font_of_103 =
          reinterpret_cast<HFONT>(SendDlgItemMessageA(dlg, 103, WM_GETFONT, 0, 0));
      return TRUE;
    case WM_COMMAND:
      g_seen->commands.push_back(w);
      if (g_seen->end_on_cancel && LOWORD(w) == 107) EndDialog(dlg, 42);
      SetWindowLongPtrA(dlg, DWLP_MSGRESULT, 5);
      return TRUE;
    default: return FALSE;
  }
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { g_seen = &seen_; }
  void TearDown() override { g_seen = nullptr; }
  static void Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
  static RECT ItemRect(HWND dlg, int id) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(GetDlgItem(dlg, id), &wp);
    return wp.rcNormalPosition;
  }
  Seen seen_;
};

TEST_F(DialogTest, StatusTemplateInPixels) {
  HWND dlg = CreateDialogParamA(nullptr, "STATUSDIALOG", nullptr, DialogProc, 77);
  ASSERT_TRUE(dlg) << GetLastError();
  EXPECT_EQ(seen_.init_param, 77);
  EXPECT_TRUE(seen_.font_of_103);  // DS_SETFONT: every control got the font
  EXPECT_TRUE(IsWindowVisible(dlg));
  // Client 300 x 87 units = 450 x 141 pixels; frame 3, tool-window caption 16.
  RECT c, w;
  GetClientRect(dlg, &c);
  GetWindowRect(dlg, &w);
  EXPECT_EQ(c.right, 450);
  EXPECT_EQ(c.bottom, 141);
  EXPECT_EQ(w.right - w.left, 456);
  EXPECT_EQ(w.bottom - w.top, 163);
  // DS_CENTER on the 1024 x 768 screen.
  EXPECT_EQ(w.left, (1024 - 456) / 2);
  EXPECT_EQ(w.top, (768 - 163) / 2);
  struct Item {
    int id;
    RECT r;
    const char* text;
  };
  const Item items[] = {{101, {24, 11, 384, 24}, "Zipping file:"},
                        {103, {11, 29, 416, 45}, ""},
                        {106, {54, 68, 372, 83}, "Progress"},
                        {105, {18, 91, 407, 101}, ""},
                        {107, {168, 111, 243, 134}, "&Cancel"}};
  for (const Item& it : items) {
    SCOPED_TRACE(it.id);
    RECT r = ItemRect(dlg, it.id);
    EXPECT_EQ(r.left, it.r.left);
    EXPECT_EQ(r.top, it.r.top);
    EXPECT_EQ(r.right, it.r.right);
    EXPECT_EQ(r.bottom, it.r.bottom);
    char text[64];
    GetDlgItemTextA(dlg, it.id, text, sizeof text);
    EXPECT_STREQ(text, it.text);
  }
  RECT units{16, 7, 256, 15};
  ASSERT_TRUE(MapDialogRect(dlg, &units));
  EXPECT_EQ(units.left, 24);
  EXPECT_EQ(units.bottom, 24);
  char cls[32];
  GetClassNameA(dlg, cls, sizeof cls);
  EXPECT_STREQ(cls, "#32770");
  EXPECT_TRUE(DestroyWindow(dlg));
}

TEST_F(DialogTest, ProgressBarMessages) {
  HWND dlg = CreateDialogParamA(nullptr, "STATUSDIALOG", nullptr, DialogProc, 0);
  ASSERT_TRUE(dlg);
  HWND bar = GetDlgItem(dlg, 105);
  struct Step {
    UINT msg;
    WPARAM w;
    LPARAM l;
    LRESULT result;
    int pos_after;
  };
  const Step steps[] = {
      {PBM_GETPOS, 0, 0, 0, 0},
      {PBM_SETRANGE, 0, MAKELPARAM(0, 200), MAKELONG(0, 100), 0},
      {PBM_SETPOS, 150, 0, 0, 150},
      {PBM_SETRANGE, 0, MAKELPARAM(0, 100), MAKELONG(0, 200), 100},  // clamped
      {PBM_DELTAPOS, static_cast<WPARAM>(-30), 0, 100, 70},
      {PBM_SETPOS, 500, 0, 70, 100},
      {PBM_SETSTEP, 25, 0, 10, 100},
      {PBM_STEPIT, 0, 0, 100, 25},  // past the end: starts over
      {PBM_STEPIT, 0, 0, 25, 50},
      {PBM_SETRANGE32, 10, 70000, MAKELONG(0, 100), 50},
      {PBM_GETRANGE, TRUE, 0, 10, 50},
      {PBM_GETRANGE, FALSE, 0, 70000, 50},
      {PBM_SETRANGE32, 0, 100, MAKELONG(10, static_cast<WORD>(70000)), 50},
      {PBM_SETBARCOLOR, 0, RGB(1, 2, 3), static_cast<LRESULT>(CLR_DEFAULT), 50},
      {PBM_SETBARCOLOR, 0, RGB(4, 5, 6), RGB(1, 2, 3), 50},
      {PBM_SETBKCOLOR, 0, RGB(7, 8, 9), static_cast<LRESULT>(CLR_DEFAULT), 50},
      {PBM_GETBKCOLOR, 0, 0, RGB(7, 8, 9), 50},
  };
  int i = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(i++);
    EXPECT_EQ(SendMessageA(bar, s.msg, s.w, s.l), s.result);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), s.pos_after);
  }
  PBRANGE range{};
  SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  // Painted: the background and a bar half as wide as the inside.
  Win32CompatClearPaintOps(bar);
  Pump();
  std::vector<W32CPaintOp> ops(Win32CompatPaintOpCount(bar));
  for (size_t k = 0; k < ops.size(); ++k) Win32CompatGetPaintOp(bar, k, &ops[k]);
  ASSERT_EQ(ops.size(), 2u);
  EXPECT_EQ(ops[0].color, RGB(7, 8, 9));
  EXPECT_EQ(ops[1].color, RGB(4, 5, 6));
  EXPECT_EQ(ops[1].rect.left, 1);
  EXPECT_EQ(ops[1].rect.right, 1 + (389 - 2) * 50 / 100);
  DestroyWindow(dlg);
}

TEST_F(DialogTest, ClickReachesTheDialogProcedureOnlyWhenEnabled) {
  HWND dlg = CreateDialogParamA(nullptr, "STATUSDIALOG", nullptr, DialogProc, 0);
  ASSERT_TRUE(dlg);
  Pump();
  ASSERT_TRUE(Win32CompatClickDlgItem(dlg, 107));
  EXPECT_TRUE(seen_.commands.empty());  // nothing happens until messages are pumped
  Pump();
  ASSERT_EQ(seen_.commands.size(), 1u);
  EXPECT_EQ(seen_.commands[0], MAKEWPARAM(107, BN_CLICKED));
  EnableWindow(GetDlgItem(dlg, 107), FALSE);
  EXPECT_FALSE(Win32CompatClickDlgItem(dlg, 107));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // Disabled between the click and the dispatch: ignored.
  EnableWindow(GetDlgItem(dlg, 107), TRUE);
  ASSERT_TRUE(Win32CompatClickDlgItem(dlg, 107));
  EnableWindow(GetDlgItem(dlg, 107), FALSE);
  Pump();
  EXPECT_EQ(seen_.commands.size(), 1u);
  ShowWindow(dlg, SW_HIDE);
  EnableWindow(GetDlgItem(dlg, 107), TRUE);
  EXPECT_FALSE(Win32CompatClickDlgItem(dlg, 107));  // the dialog is hidden
  // DWLP_MSGRESULT carries the result of a handled message.
  EXPECT_EQ(SendMessageA(dlg, WM_COMMAND, 1, 0), 5);
  DestroyWindow(dlg);
}

TEST_F(DialogTest, ModalDialogDisablesItsOwnerUntilEnded) {
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                               nullptr, nullptr, nullptr, nullptr);
  seen_.owner = owner;
  seen_.end_on_cancel = true;
  // The click is queued before the modal loop starts; the loop delivers it.
  SetTimer(owner, 1, 10, [](HWND o, UINT, UINT_PTR id, DWORD) {
    KillTimer(o, id);
    g_seen->owner_enabled_at_init = IsWindowEnabled(o);  // while the modal loop runs
    HWND dlg = FindWindowA("#32770", "Zip Folder Status");
    Win32CompatClickDlgItem(dlg, 107);
  });
  INT_PTR r = DialogBoxParamA(nullptr, "STATUSDIALOG", owner, DialogProc, 0);
  EXPECT_EQ(r, 42);
  EXPECT_FALSE(seen_.owner_enabled_at_init);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_FALSE(FindWindowA("#32770", "Zip Folder Status"));
  DestroyWindow(owner);
}

TEST_F(DialogTest, ExtendedTemplateAndFailures) {
  HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 100, 200, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
  HWND dlg = CreateDialogParamA(nullptr, "EXDIALOG", owner, DialogProc, 0);
  ASSERT_TRUE(dlg) << GetLastError();
  EXPECT_FALSE(IsWindowVisible(dlg));
  RECT c;
  GetClientRect(dlg, &c);
  EXPECT_EQ(c.right, 150);
  EXPECT_EQ(c.bottom, 81);
  POINT o{0, 0};
  ClientToScreen(dlg, &o);
  EXPECT_EQ(o.x, 100 + 15);  // relative to the owner's client area
  EXPECT_EQ(o.y, 200 + 33);
  char text[16];
  GetDlgItemTextA(dlg, 300, text, sizeof text);
  EXPECT_STREQ(text, "text");
  EXPECT_EQ(SendMessageA(dlg, DM_GETDEFID, 0, 0), MAKELRESULT(1, DC_HASDEFID));
  DestroyWindow(dlg);
  DestroyWindow(owner);

  EXPECT_FALSE(CreateDialogParamA(nullptr, "BADCLASS", nullptr, DialogProc, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_FALSE(CreateDialogParamA(nullptr, "NOSUCHDIALOG", nullptr, DialogProc, 0));
}

TEST_F(DialogTest, TruncatedTemplatesFailCleanly) {
  HRSRC res = FindResourceA(nullptr, "STATUSDIALOG", RT_DIALOG);
  ASSERT_TRUE(res);
  auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, res)));
  DWORD size = SizeofResource(nullptr, res);
  for (DWORD n = 0; n < size; ++n) {
    // The last item's creation-data count is its last word.
    std::vector<uint8_t> copy(data, data + n);
    HWND dlg = Win32CompatCreateDialogFromBytes(nullptr, copy.data(), copy.size(), nullptr,
                                                DialogProc, 0);
    EXPECT_FALSE(dlg) << n;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << n;
    if (dlg) DestroyWindow(dlg);
  }
  HWND whole = Win32CompatCreateDialogFromBytes(nullptr, data, size, nullptr, DialogProc, 0);
  EXPECT_TRUE(whole);
  DestroyWindow(whole);
}

TEST_F(DialogTest, BitmapResource) {
  HBITMAP bm = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(7));
  ASSERT_TRUE(bm) << GetLastError();
  BITMAP info{};
  ASSERT_EQ(GetObjectA(bm, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmWidth, 2);
  EXPECT_EQ(info.bmHeight, 2);
  EXPECT_EQ(info.bmBitsPixel, 24);
  EXPECT_TRUE(DeleteObject(bm));
}

}  // namespace
