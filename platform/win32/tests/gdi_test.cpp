// Recorded painting: drawing calls on window device contexts, objects, text metrics.
#include <windows.h>
#include <win32compat/headless.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<W32CPaintOp> Ops(HWND h) {
  std::vector<W32CPaintOp> ops(Win32CompatPaintOpCount(h));
  for (size_t i = 0; i < ops.size(); ++i) Win32CompatGetPaintOp(h, i, &ops[i]);
  return ops;
}

class GdiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wnd_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_CAPTION, 0, 0, 200, 100, nullptr,
                           nullptr, nullptr, nullptr);
    ASSERT_TRUE(wnd_);
  }
  void TearDown() override { DestroyWindow(wnd_); }
  HWND wnd_ = nullptr;
};

TEST_F(GdiTest, DrawingCallsAreRecordedInClientCoordinates) {
  HDC dc = GetDC(wnd_);
  ASSERT_TRUE(dc);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT r{1, 2, 30, 40};
  EXPECT_EQ(FillRect(dc, &r, red), 1);
  EXPECT_EQ(FillRect(dc, &r, reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1)), 1);
  SetTextColor(dc, RGB(0, 0, 255));
  SetBkMode(dc, TRANSPARENT);
  RECT t{0, 0, 100, 20};
  EXPECT_EQ(DrawTextA(dc, "Hello", -1, &t, DT_CENTER | DT_SINGLELINE), 13);
  RECT e{10, 10, 50, 30};
  EXPECT_TRUE(DrawEdge(dc, &e, EDGE_SUNKEN, BF_RECT | BF_ADJUST));
  EXPECT_EQ(e.left, 12);
  EXPECT_EQ(e.bottom, 28);
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bm = CreateCompatibleBitmap(dc, 40, 30);
  HGDIOBJ old = SelectObject(mem, bm);
  EXPECT_TRUE(BitBlt(dc, 5, 6, 40, 30, mem, 0, 0, SRCCOPY));
  EXPECT_FALSE(DeleteObject(bm));  // still selected
  SelectObject(mem, old);
  EXPECT_TRUE(DeleteDC(mem));
  EXPECT_TRUE(DeleteObject(bm));
  GetWindowDC(wnd_);
  HDC whole = GetWindowDC(wnd_);
  RECT outer{0, 0, 10, 10};
  FillRect(whole, &outer, red);
  ReleaseDC(wnd_, whole);
  ReleaseDC(wnd_, dc);
  DeleteObject(red);

  auto ops = Ops(wnd_);
  ASSERT_EQ(ops.size(), 6u);
  EXPECT_EQ(ops[0].kind, W32C_PAINT_FILLRECT);
  EXPECT_EQ(ops[0].color, RGB(255, 0, 0));
  EXPECT_EQ(ops[0].rect.bottom, 40);
  EXPECT_EQ(ops[1].color, GetSysColor(COLOR_3DFACE));
  EXPECT_EQ(ops[2].kind, W32C_PAINT_TEXT);
  EXPECT_STREQ(ops[2].text, "Hello");
  EXPECT_EQ(ops[2].color, RGB(0, 0, 255));
  EXPECT_EQ(ops[2].bk_mode, TRANSPARENT);
  EXPECT_EQ(ops[2].format, static_cast<UINT>(DT_CENTER | DT_SINGLELINE));
  EXPECT_EQ(ops[3].kind, W32C_PAINT_EDGE);
  EXPECT_EQ(ops[3].rect.left, 10);  // as given, before BF_ADJUST
  EXPECT_EQ(ops[3].format, static_cast<UINT>(EDGE_SUNKEN));
  EXPECT_EQ(ops[4].kind, W32C_PAINT_BITBLT);
  EXPECT_EQ(ops[4].source, bm);
  EXPECT_EQ(ops[4].source_size.cx, 40);
  EXPECT_EQ(ops[4].source_size.cy, 30);
  EXPECT_EQ(ops[4].rect.left, 5);
  EXPECT_EQ(ops[4].rect.right, 45);
  EXPECT_EQ(ops[4].format, SRCCOPY);
  // A window DC starts at the frame: caption 22, frame 3.
  EXPECT_EQ(ops[5].rect.left, -3);
  EXPECT_EQ(ops[5].rect.top, -22);
  Win32CompatClearPaintOps(wnd_);
  EXPECT_EQ(Win32CompatPaintOpCount(wnd_), 0u);
}

TEST_F(GdiTest, TextExtentsUseTheFixedCell) {
  HDC dc = GetDC(wnd_);
  struct Case {
    const char* text;
    LONG width;
  };
  const Case cases[] = {{"", 0}, {"Zipping file:", 13 * 6}, {"\xC3\xA4x", 2 * 6}};
  for (const Case& c : cases) {
    SIZE s{};
    ASSERT_TRUE(GetTextExtentPoint32A(dc, c.text, static_cast<int>(strlen(c.text)), &s));
    EXPECT_EQ(s.cx, c.width) << c.text;
    EXPECT_EQ(s.cy, 13);
  }
  RECT r{0, 0, 1000, 0};
  EXPECT_EQ(DrawTextA(dc, "&Cancel\nsecond line", -1, &r, DT_CALCRECT), 26);
  EXPECT_EQ(r.right, 11 * 6);  // "second line"; the "&" takes no room
  EXPECT_EQ(Win32CompatPaintOpCount(wnd_), 0u);  // DT_CALCRECT draws nothing
  RECT narrow{0, 0, 60, 0};
  EXPECT_EQ(DrawTextA(dc, "one two three", -1, &narrow, DT_CALCRECT | DT_WORDBREAK), 26);
  SIZE s;
  EXPECT_FALSE(GetTextExtentPoint32A(reinterpret_cast<HDC>(0x1234), "x", 1, &s));
  ReleaseDC(wnd_, dc);
}

TEST_F(GdiTest, ObjectsAndStockObjects) {
  HBITMAP bm = CreateBitmap(33, 7, 1, 1, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectA(bm, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmWidth, 33);
  EXPECT_EQ(info.bmWidthBytes, 6);  // rows of whole words
  EXPECT_EQ(GetObjectA(bm, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
  EXPECT_TRUE(DeleteObject(bm));
  EXPECT_FALSE(DeleteObject(bm));
  EXPECT_FALSE(CreateBitmap(100000, 10, 1, 32, nullptr));
  EXPECT_FALSE(CreateBitmap(10, 10, 1, 3, nullptr));
  HGDIOBJ white = GetStockObject(WHITE_BRUSH);
  EXPECT_TRUE(DeleteObject(white));  // left alone
  LOGBRUSH lb{};
  ASSERT_EQ(GetObjectA(white, sizeof lb, &lb), static_cast<int>(sizeof lb));
  EXPECT_EQ(lb.lbColor, RGB(255, 255, 255));
  EXPECT_EQ(GetObjectType(white), static_cast<DWORD>(OBJ_BRUSH));
  // A memory DC with its initial bitmap makes monochrome bitmaps.
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP mono = CreateCompatibleBitmap(mem, 4, 4);
  GetObjectA(mono, sizeof info, &info);
  EXPECT_EQ(info.bmBitsPixel, 1);
  EXPECT_FALSE(SelectObject(GetDC(wnd_), mono));  // only memory DCs take bitmaps
  DeleteObject(mono);
  DeleteDC(mem);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 3;
  bi.bmiHeader.biHeight = -2;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_TRUE(dib);
  ASSERT_TRUE(bits);
  GetObjectA(dib, sizeof info, &info);
  EXPECT_EQ(info.bmWidthBytes, 12);
  EXPECT_EQ(info.bmBits, bits);
  DeleteObject(dib);
}

TEST_F(GdiTest, PaintMessagePaintsStaticText) {
  HWND text = CreateWindowExA(0, "STATIC", "0%", WS_CHILD | WS_VISIBLE, 4, 5, 60, 14, wnd_,
                              reinterpret_cast<HMENU>(102), nullptr, nullptr);
  ShowWindow(wnd_, SW_SHOW);
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  auto ops = Ops(text);
  ASSERT_EQ(ops.size(), 2u);
  EXPECT_EQ(ops[0].kind, W32C_PAINT_FILLRECT);
  EXPECT_EQ(ops[0].color, GetSysColor(COLOR_3DFACE));
  EXPECT_EQ(ops[1].kind, W32C_PAINT_TEXT);
  EXPECT_STREQ(ops[1].text, "0%");
  EXPECT_EQ(ops[1].rect.right, 60);
}

}  // namespace
