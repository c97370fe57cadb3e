// Windows of the headless window system: creation and destruction order, rectangles by
// style, message order, enabled state, positions.
#include <windows.h>
#include <win32compat/headless.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string>* g_log = nullptr;

std::string Name(HWND h) {
  char buf[64] = "";
  GetWindowTextA(h, buf, sizeof buf);
  return buf;
}

LRESULT LoggingProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (g_log) {
    const char* m = nullptr;
    switch (msg) {
      case WM_NCCREATE: m = "NCCREATE"; break;
      case WM_CREATE: m = "CREATE"; break;
      case WM_DESTROY: m = "DESTROY"; break;
      case WM_NCDESTROY: m = "NCDESTROY"; break;
      case WM_PAINT: m = "PAINT"; break;
      case WM_ENABLE: m = w ? "ENABLE1" : "ENABLE0"; break;
      case WM_USER: m = "USER"; break;
      case WM_USER + 1: m = "USER1"; break;
      case WM_SIZE: m = "SIZE"; break;
      default: break;
    }
    if (m) {
      std::string who = msg == WM_NCCREATE
                            ? std::string(reinterpret_cast<CREATESTRUCTA*>(l)->lpszName)
                            : Name(hwnd);
      g_log->push_back(who + ":" + m);
    }
  }
  return DefWindowProcA(hwnd, msg, w, l);
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = LoggingProc;
    wc.lpszClassName = "LogWin";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
  }
  void SetUp() override { g_log = &log_; }
  void TearDown() override {
    g_log = nullptr;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  std::vector<std::string> log_;
};

TEST_F(WindowTest, CreationAndDestructionOrder) {
  HWND top = CreateWindowExA(0, "LogWin", "top", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                             nullptr, nullptr);
  ASSERT_TRUE(top);
  HWND a = CreateWindowExA(0, "LogWin", "a", WS_CHILD, 0, 0, 10, 10, top,
                           reinterpret_cast<HMENU>(5), nullptr, nullptr);
  HWND b = CreateWindowExA(0, "LogWin", "b", WS_CHILD, 0, 0, 10, 10, top, nullptr, nullptr,
                           nullptr);
  HWND owned = CreateWindowExA(0, "LogWin", "owned", WS_POPUP, 0, 0, 10, 10, top, nullptr,
                               nullptr, nullptr);
  EXPECT_EQ(GetWindow(top, GW_CHILD), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetParent(a), top);
  EXPECT_EQ(GetParent(owned), top);  // the owner of a popup
  EXPECT_EQ(GetWindow(owned, GW_OWNER), top);
  EXPECT_EQ(GetDlgCtrlID(a), 5);
  EXPECT_EQ(GetDlgItem(top, 5), a);
  log_.clear();
  ASSERT_TRUE(DestroyWindow(top));
  std::vector<std::string> want = {"owned:DESTROY", "owned:NCDESTROY", "top:DESTROY",
                                   "a:DESTROY",     "b:DESTROY",       "a:NCDESTROY",
                                   "b:NCDESTROY",   "top:NCDESTROY"};
  EXPECT_EQ(log_, want);
  for (HWND h : {top, a, b, owned}) EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(top));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, CreationFailures) {
  EXPECT_FALSE(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_FALSE(CreateWindowExA(0, "LogWin", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr,
                               nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
  EXPECT_FALSE(CreateWindowExA(0, "LogWin", "", WS_POPUP, 0, 0, 1, 1, nullptr,
                               reinterpret_cast<HMENU>(7), nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "logwin";  // names compare without regard to case
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

struct RectCase {
  const char* name;
  DWORD style;
  DWORD exstyle;
  RECT frame;  // left, top, right, bottom insets
};

class WindowRectTest : public ::testing::TestWithParam<RectCase> {};

TEST_P(WindowRectTest, ClientAreaFollowsStyle) {
  const RectCase& c = GetParam();
  HWND h = CreateWindowExA(c.exstyle, "STATIC", "", c.style, 50, 60, 200, 100, nullptr,
                           nullptr, nullptr, nullptr);
  ASSERT_TRUE(h);
  RECT wr, cr;
  GetWindowRect(h, &wr);
  GetClientRect(h, &cr);
  EXPECT_EQ(wr.left, 50);
  EXPECT_EQ(wr.top, 60);
  EXPECT_EQ(cr.right, 200 - c.frame.left - c.frame.right);
  EXPECT_EQ(cr.bottom, 100 - c.frame.top - c.frame.bottom);
  POINT p{0, 0};
  ClientToScreen(h, &p);
  EXPECT_EQ(p.x, 50 + c.frame.left);
  EXPECT_EQ(p.y, 60 + c.frame.top);
  RECT adj{0, 0, cr.right, cr.bottom};
  AdjustWindowRectEx(&adj, c.style, FALSE, c.exstyle);
  EXPECT_EQ(adj.right - adj.left, 200);
  EXPECT_EQ(adj.bottom - adj.top, 100);
  DestroyWindow(h);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, WindowRectTest,
    ::testing::Values(RectCase{"plain", WS_POPUP, 0, {0, 0, 0, 0}},
                      RectCase{"border", WS_POPUP | WS_BORDER, 0, {1, 1, 1, 1}},
                      RectCase{"caption", WS_POPUP | WS_CAPTION, 0, {3, 22, 3, 3}},
                      RectCase{"toolwindow", WS_POPUP | WS_CAPTION, WS_EX_TOOLWINDOW,
                               {3, 19, 3, 3}},
                      RectCase{"thick", WS_POPUP | WS_CAPTION | WS_THICKFRAME, 0,
                               {4, 23, 4, 4}},
                      RectCase{"modalframe", WS_POPUP, WS_EX_DLGMODALFRAME, {3, 3, 3, 3}},
                      RectCase{"clientedge", WS_POPUP | WS_BORDER, WS_EX_CLIENTEDGE,
                               {3, 3, 3, 3}},
                      RectCase{"overlapped", WS_OVERLAPPED, 0, {3, 22, 3, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, SentBeforePostedAndPaintLast) {
  HWND h = CreateWindowExA(0, "LogWin", "w", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                           nullptr, nullptr, nullptr);
  ASSERT_TRUE(h);
  log_.clear();
  PostMessageA(h, WM_USER, 0, 0);
  SendMessageA(h, WM_USER + 1, 0, 0);  // delivered at once
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));  // a filter reaches past the post
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  std::vector<std::string> want = {"w:USER1", "w:USER", "w:PAINT"};
  EXPECT_EQ(log_, want);
  // Painted and validated: no second WM_PAINT.
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  InvalidateRect(h, nullptr, TRUE);
  log_.clear();
  UpdateWindow(h);
  EXPECT_EQ(log_, std::vector<std::string>{"w:PAINT"});
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE | 0x00800000));  // PM_QS_PAINT
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  DestroyWindow(h);
}

TEST_F(WindowTest, QuitEndsGetMessage) {
  PostThreadMessageA(GetCurrentThreadId(), WM_USER + 5, 1, 2);
  PostQuitMessage(3);
  MSG m;
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 5));
  EXPECT_EQ(m.hwnd, nullptr);
  EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 3u);
}

TEST_F(WindowTest, TimerArrivesThroughGetMessage) {
  HWND h = CreateWindowExA(0, "LogWin", "t", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr,
                           nullptr);
  ASSERT_EQ(SetTimer(h, 9, 10, nullptr), 9u);
  MSG m;
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
  EXPECT_EQ(m.wParam, 9u);
  EXPECT_TRUE(KillTimer(h, 9));
  EXPECT_FALSE(KillTimer(h, 9));
  DestroyWindow(h);
}

TEST_F(WindowTest, EnableWindowReportsPreviousStateAndNotifies) {
  HWND h = CreateWindowExA(0, "LogWin", "e", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr,
                           nullptr);
  log_.clear();
  EXPECT_FALSE(EnableWindow(h, FALSE));  // was enabled
  EXPECT_FALSE(IsWindowEnabled(h));
  EXPECT_TRUE(EnableWindow(h, FALSE));   // already disabled: no message
  EXPECT_TRUE(EnableWindow(h, TRUE));
  EXPECT_TRUE(IsWindowEnabled(h));
  EXPECT_EQ(log_, (std::vector<std::string>{"e:ENABLE0", "e:ENABLE1"}));
  DestroyWindow(h);
}

TEST_F(WindowTest, PositionsPlacementAndMapping) {
  HWND top = CreateWindowExA(0, "LogWin", "p", WS_POPUP | WS_CAPTION, 100, 100, 300, 200,
                             nullptr, nullptr, nullptr, nullptr);
  HWND kid = CreateWindowExA(0, "STATIC", "k", WS_CHILD | WS_VISIBLE, 10, 20, 30, 40, top,
                             reinterpret_cast<HMENU>(1), nullptr, nullptr);
  RECT r;
  GetWindowRect(kid, &r);
  EXPECT_EQ(r.left, 100 + 3 + 10);
  EXPECT_EQ(r.top, 100 + 22 + 20);
  EXPECT_TRUE(SetWindowPos(kid, nullptr, 5, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  ASSERT_TRUE(GetWindowPlacement(kid, &wp));
  EXPECT_EQ(wp.rcNormalPosition.left, 5);
  EXPECT_EQ(wp.rcNormalPosition.top, 6);
  EXPECT_EQ(wp.rcNormalPosition.right, 35);
  EXPECT_EQ(wp.rcNormalPosition.bottom, 46);
  EXPECT_TRUE(MoveWindow(top, 0, 0, 400, 300, TRUE));
  POINT pt{0, 0};
  EXPECT_EQ(MapWindowPoints(kid, top, &pt, 1), MAKELONG(5, 6));
  EXPECT_EQ(pt.x, 5);
  EXPECT_FALSE(SetWindowPos(kid, nullptr, 0, 0, 0, 0, 0x8000));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  wp.length = 0;
  EXPECT_FALSE(SetWindowPlacement(kid, &wp));
  // Hiding and showing.
  EXPECT_FALSE(ShowWindow(top, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(kid));
  EXPECT_TRUE(ShowWindow(top, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(kid));  // visible itself, but its parent is hidden
  EXPECT_FALSE(ShowWindow(top, SW_MAXIMIZE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  DestroyWindow(top);
}

TEST_F(WindowTest, TextsStylesAndWindowData) {
  HWND h = CreateWindowExA(0, "LogWin", "first", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr,
                           nullptr, nullptr);
  EXPECT_EQ(GetWindowTextLengthA(h), 5);
  EXPECT_TRUE(SetWindowTextA(h, "second text"));
  char buf[7];
  EXPECT_EQ(GetWindowTextA(h, buf, sizeof buf), 6);
  EXPECT_STREQ(buf, "second");
  EXPECT_EQ(SetWindowLongPtrA(h, GWLP_USERDATA, 1234), 0);
  EXPECT_EQ(GetWindowLongPtrA(h, GWLP_USERDATA), 1234);
  EXPECT_EQ(GetWindowLongPtrA(h, 0), 0);  // no extra bytes
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)), LoggingProc);
  if (sizeof(LONG_PTR) > sizeof(LONG)) {
    EXPECT_EQ(GetWindowLongA(h, GWLP_WNDPROC), 0);
    EXPECT_EQ(GetWindowLongA(h, GWLP_WNDPROC), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  }
  SetWindowLongA(h, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_BORDER));
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE)), WS_POPUP | WS_BORDER);
  RECT c;
  GetClientRect(h, &c);
  EXPECT_EQ(c.right, 5);  // the frame follows only SWP_FRAMECHANGED
  SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  GetClientRect(h, &c);
  EXPECT_EQ(c.right, 3);
  DestroyWindow(h);
}

TEST_F(WindowTest, SendFromAnotherThreadRunsOnTheOwningThread) {
  g_log = nullptr;
  HWND h = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr,
                           nullptr);
  LRESULT result = 0;
  BOOL destroyed = TRUE;
  std::thread other([&] {
    result = SendMessageA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("from thread"));
    destroyed = DestroyWindow(h);
  });
  // Serviced while this thread waits in GetMessage.
  PostMessageA(h, WM_NULL, 0, 0);
  char buf[32] = "";
  for (int i = 0; i < 200 && GetWindowTextLengthA(h) == 0; ++i) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  other.join();
  GetWindowTextA(h, buf, sizeof buf);
  EXPECT_STREQ(buf, "from thread");
  EXPECT_EQ(result, TRUE);
  EXPECT_FALSE(destroyed);  // only the owning thread destroys a window
  EXPECT_TRUE(DestroyWindow(h));
}

TEST(Metrics, FixedAndSettableScreen) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
  EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
  EXPECT_EQ(GetSystemMetrics(SM_CXDLGFRAME), 3);
  EXPECT_EQ(GetSystemMetrics(SM_CXFRAME), 4);
  ASSERT_TRUE(Win32CompatSetScreenSize(800, 600));
  RECT work;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(work.right, 800);
  EXPECT_EQ(work.bottom, 600);
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &work, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  ASSERT_TRUE(Win32CompatSetScreenSize(1024, 768));
  EXPECT_FALSE(Win32CompatSetScreenSize(0, 10));
}

}  // namespace
