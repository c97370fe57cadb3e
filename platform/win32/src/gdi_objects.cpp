// GDI objects: the handle table, stock objects, system colours, brushes, pens, fonts,
// bitmaps and device contexts.
#include "gdi_internal.h"

#include <cstring>

using namespace w32c::user;

namespace {

constexpr int kSysColors = 31;
const COLORREF kSysColor[kSysColors] = {
    RGB(192, 192, 192), RGB(0, 128, 128),   RGB(0, 0, 128),     RGB(128, 128, 128),
    RGB(192, 192, 192), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(192, 192, 192), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(0, 0, 128),     RGB(255, 255, 255), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(192, 192, 192),
    RGB(255, 255, 255), RGB(0, 0, 0),       RGB(192, 192, 192), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(180, 180, 180), RGB(0, 0, 255),     RGB(16, 132, 208),
    RGB(181, 181, 181), RGB(0, 0, 128),     RGB(192, 192, 192)};

// Largest bitmap accepted: 32768 pixels on a side and 256 MiB of pixels.
constexpr LONG kMaxSide = 32768;
constexpr uint64_t kMaxBitmapBytes = 256u << 20;

struct GdiTable {
  std::map<uintptr_t, std::shared_ptr<GdiObject>> objects;
  uintptr_t next = 0;
  HGDIOBJ stock[DC_PEN + 1] = {};
  HBRUSH sys_brush[kSysColors] = {};
  HBITMAP default_bitmap = nullptr;  // the 1 x 1 monochrome bitmap of a new memory DC
};

GdiTable& Table();

HANDLE AddLocked(GdiTable& t, std::shared_ptr<GdiObject> o) {
  // Values 0x200000 + 4n, never reused.
  uintptr_t key = 0x200000 + 4 * t.next++;
  o->handle = reinterpret_cast<HANDLE>(key);
  t.objects.emplace(key, std::move(o));
  return reinterpret_cast<HANDLE>(key);
}

HGDIOBJ StockBrush(GdiTable& t, COLORREF c, UINT style) {
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::kBrush;
  o->stock = true;
  o->color = c;
  o->style = style;
  return AddLocked(t, o);
}

HGDIOBJ StockPen(GdiTable& t, COLORREF c, UINT style) {
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::kPen;
  o->stock = true;
  o->color = c;
  o->style = style;
  return AddLocked(t, o);
}

HGDIOBJ StockFont(GdiTable& t, const char* face, LONG height) {
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::kFont;
  o->stock = true;
  o->font.lfHeight = height;
  o->font.lfWeight = 400;
  strncpy(o->font.lfFaceName, face, LF_FACESIZE - 1);
  return AddLocked(t, o);
}

GdiTable& Table() {
  static GdiTable* table = [] {
    auto* t = new GdiTable;
    t->stock[WHITE_BRUSH] = StockBrush(*t, RGB(255, 255, 255), BS_SOLID);
    t->stock[LTGRAY_BRUSH] = StockBrush(*t, RGB(192, 192, 192), BS_SOLID);
    t->stock[GRAY_BRUSH] = StockBrush(*t, RGB(128, 128, 128), BS_SOLID);
    t->stock[DKGRAY_BRUSH] = StockBrush(*t, RGB(64, 64, 64), BS_SOLID);
    t->stock[BLACK_BRUSH] = StockBrush(*t, RGB(0, 0, 0), BS_SOLID);
    t->stock[NULL_BRUSH] = StockBrush(*t, CLR_NONE, BS_NULL);
    t->stock[DC_BRUSH] = StockBrush(*t, RGB(255, 255, 255), BS_SOLID);
    t->stock[WHITE_PEN] = StockPen(*t, RGB(255, 255, 255), PS_SOLID);
    t->stock[BLACK_PEN] = StockPen(*t, RGB(0, 0, 0), PS_SOLID);
    t->stock[NULL_PEN] = StockPen(*t, CLR_NONE, PS_NULL);
    t->stock[DC_PEN] = StockPen(*t, RGB(0, 0, 0), PS_SOLID);
    t->stock[OEM_FIXED_FONT] = StockFont(*t, "Terminal", 12);
    t->stock[ANSI_FIXED_FONT] = StockFont(*t, "Courier", 13);
    t->stock[ANSI_VAR_FONT] = StockFont(*t, "MS Sans Serif", 13);
    t->stock[SYSTEM_FONT] = StockFont(*t, "System", 16);
    t->stock[DEVICE_DEFAULT_FONT] = StockFont(*t, "System", 16);
    t->stock[SYSTEM_FIXED_FONT] = StockFont(*t, "Fixedsys", 15);
    t->stock[DEFAULT_GUI_FONT] = StockFont(*t, "MS Shell Dlg", 13);
    for (int i = 0; i < kSysColors; ++i)
      t->sys_brush[i] = static_cast<HBRUSH>(StockBrush(*t, kSysColor[i], BS_SOLID));
    auto bm = std::make_shared<GdiObject>();
    bm->kind = GdiKind::kBitmap;
    bm->stock = true;
    bm->bm_width = bm->bm_height = 1;
    t->default_bitmap = static_cast<HBITMAP>(AddLocked(*t, bm));
    return t;
  }();
  return *table;
}

bool ValidBitmapSize(LONG w, LONG h, UINT bpp) {
  if (w < 0 || h < 0 || w > kMaxSide || h > kMaxSide) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  return static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * bpp / 8 <= kMaxBitmapBytes;
}

HBITMAP NewBitmap(LONG w, LONG h, WORD bpp, bool dib, void** bits) {
  if (!ValidBitmapSize(w, h, bpp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::kBitmap;
  o->bm_width = w;
  o->bm_height = h;
  o->bpp = bpp;
  o->dib = dib;
  if (dib) {
    size_t stride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
    o->bits.assign(std::max<size_t>(stride * static_cast<size_t>(h), 1), 0);
    if (bits) *bits = o->bits.data();
  }
  Guard g(UserMutex());
  return static_cast<HBITMAP>(AddLocked(Table(), o));
}

}  // namespace

namespace w32c::user {

std::shared_ptr<GdiObject> FindGdiLocked(HANDLE h) {
  GdiTable& t = Table();
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
  return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<GdiObject> FindGdiLocked(HANDLE h, GdiKind kind) {
  auto o = FindGdiLocked(h);
  return (o && o->kind == kind) ? o : nullptr;
}

HANDLE NewGdiLocked(std::shared_ptr<GdiObject> object) { return AddLocked(Table(), object); }

void RemoveGdiLocked(HANDLE h) { Table().objects.erase(reinterpret_cast<uintptr_t>(h)); }

bool BrushColorLocked(HBRUSH brush, COLORREF* color) {
  auto v = reinterpret_cast<uintptr_t>(brush);
  if (v >= 1 && v <= kSysColors) {
    *color = kSysColor[v - 1];
    return true;
  }
  auto o = FindGdiLocked(brush, GdiKind::kBrush);
  if (!o) return false;
  *color = o->color;
  return true;
}

HDC NewWindowDcLocked(HWND hwnd, bool whole_window) {
  GdiTable& t = Table();
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::kDc;
  if (hwnd) {
    auto w = FindLockedOrFail(hwnd);
    if (!w) return nullptr;
    if (!w->is_desktop) o->window = hwnd;
    if (w->font) o->font_obj = w->font;
  }
  o->whole_window = whole_window;
  o->brush = t.stock[WHITE_BRUSH];
  o->pen = t.stock[BLACK_PEN];
  if (!o->font_obj) o->font_obj = t.stock[SYSTEM_FONT];
  return static_cast<HDC>(AddLocked(t, o));
}

void RecordOnDcLocked(const GdiObject& dc, W32CPaintOp op) {
  if (!dc.window) return;
  auto w = FindLocked(dc.window);
  if (!w) return;
  if (dc.whole_window) OffsetRect(&op.rect, -w->frame.left, -w->frame.top);
  w->paint.push_back(op);
}

}  // namespace w32c::user

DWORD GetSysColor(int index) {
  if (index < 0 || index >= kSysColors) return 0;
  return kSysColor[index];
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index >= kSysColors) return nullptr;
  Guard g(UserMutex());
  return Table().sys_brush[index];
}

HGDIOBJ GetStockObject(int i) {
  if (i < 0 || i > DC_PEN) return nullptr;
  Guard g(UserMutex());
  return Table().stock[i];
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::kBrush;
  o->color = color & 0x00FFFFFFu;
  o->style = BS_SOLID;
  Guard g(UserMutex());
  return static_cast<HBRUSH>(AddLocked(Table(), o));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* lb) {
  if (!lb) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (lb->lbStyle == BS_NULL) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  if (lb->lbStyle != BS_SOLID) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  return CreateSolidBrush(lb->lbColor);
}

HPEN CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID && style != PS_NULL) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::kPen;
  o->color = color;
  o->style = static_cast<UINT>(style);
  o->width = width;
  Guard g(UserMutex());
  return static_cast<HPEN>(AddLocked(Table(), o));
}

HFONT CreateFontIndirectA(const LOGFONTA* lf) {
  if (!lf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::kFont;
  o->font = *lf;
  o->font.lfFaceName[LF_FACESIZE - 1] = 0;
  Guard g(UserMutex());
  return static_cast<HFONT>(AddLocked(Table(), o));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bpp, const void*) {
  if (planes != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return NewBitmap(width, height, static_cast<WORD>(bpp), false, nullptr);
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  WORD bpp = 32;
  {
    Guard g(UserMutex());
    auto dc = FindGdiLocked(hdc, GdiKind::kDc);
    if (!dc) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    // A memory DC still holding its 1 x 1 monochrome bitmap makes monochrome bitmaps,
    // as on Windows.
    if (dc->memory) {
      auto bm = FindGdiLocked(dc->bitmap, GdiKind::kBitmap);
      if (bm) bpp = bm->bpp;
    }
  }
  return NewBitmap(cx, cy, bpp, false, nullptr);
}

namespace {

// Reads the size and depth a DIB header gives; false for an unusable header.
bool DibGeometry(const BITMAPINFOHEADER* h, LONG* w, LONG* height, WORD* bpp) {
  if (!h) return false;
  if (h->biSize == 12) {  // BITMAPCOREHEADER: WORD width, height, planes, bits
    WORD f[4];
    memcpy(f, reinterpret_cast<const uint8_t*>(h) + 4, sizeof f);
    *w = f[0];
    *height = f[1];
    *bpp = f[3];
    return true;
  }
  if (h->biSize < sizeof(BITMAPINFOHEADER)) return false;
  if (h->biWidth < 0 || h->biHeight == INT32_MIN) return false;
  if (h->biCompression != BI_RGB && h->biCompression != BI_BITFIELDS &&
      h->biCompression != BI_RLE8 && h->biCompression != BI_RLE4)
    return false;
  *w = h->biWidth;
  *height = h->biHeight < 0 ? -h->biHeight : h->biHeight;
  *bpp = h->biBitCount;
  return true;
}

}  // namespace

HBITMAP CreateDIBitmap(HDC, const BITMAPINFOHEADER* h, DWORD, const void*, const BITMAPINFO*,
                       UINT) {
  LONG w, height;
  WORD bpp;
  if (!DibGeometry(h, &w, &height, &bpp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return NewBitmap(w, height, 32, false, nullptr);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section,
                         DWORD) {
  if (bits) *bits = nullptr;
  if (section) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  LONG w, height;
  WORD bpp;
  if (!bmi || usage > DIB_PAL_COLORS || !DibGeometry(&bmi->bmiHeader, &w, &height, &bpp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return NewBitmap(w, height, bpp, true, bits);
}

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
  if (!instance) {
    // System bitmaps (OBM_*) do not exist here.
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  HRSRC res = FindResourceA(instance, name, RT_BITMAP);
  if (!res) return nullptr;
  DWORD size = SizeofResource(instance, res);
  HGLOBAL data = LoadResource(instance, res);
  const void* p = data ? LockResource(data) : nullptr;
  BITMAPINFOHEADER h{};
  if (!p || size < 12) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  memcpy(&h, p, std::min<size_t>(size, sizeof h));
  if (h.biSize > size || (h.biSize != 12 && size < sizeof h)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  LONG w, height;
  WORD bpp;
  if (!DibGeometry(&h, &w, &height, &bpp) || !ValidBitmapSize(w, height, bpp)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return NewBitmap(w, height, bpp, false, nullptr);
}

int GetObjectA(HANDLE h, int size, LPVOID out) {
  Guard g(UserMutex());
  auto o = FindGdiLocked(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (o->kind) {
    case GdiKind::kBitmap: {
      if (!out) return sizeof(BITMAP);
      if (size < static_cast<int>(sizeof(BITMAP))) return 0;
      BITMAP bm{};
      bm.bmWidth = o->bm_width;
      bm.bmHeight = o->bm_height;
      bm.bmPlanes = 1;
      bm.bmBitsPixel = o->bpp;
      // Device bitmaps have rows of whole words, DIB sections of whole double words.
      bm.bmWidthBytes = o->dib ? ((o->bm_width * o->bpp + 31) / 32) * 4
                               : ((o->bm_width * o->bpp + 15) / 16) * 2;
      bm.bmBits = o->dib ? o->bits.data() : nullptr;
      memcpy(out, &bm, sizeof bm);
      return sizeof(BITMAP);
    }
    case GdiKind::kBrush: {
      if (!out) return sizeof(LOGBRUSH);
      if (size < static_cast<int>(sizeof(LOGBRUSH))) return 0;
      LOGBRUSH lb{o->style, o->color, 0};
      memcpy(out, &lb, sizeof lb);
      return sizeof(LOGBRUSH);
    }
    case GdiKind::kFont: {
      if (!out) return sizeof(LOGFONTA);
      int n = std::min(size, static_cast<int>(sizeof(LOGFONTA)));
      if (n <= 0) return 0;
      memcpy(out, &o->font, static_cast<size_t>(n));
      return n;
    }
    default: SetLastError(ERROR_CALL_NOT_IMPLEMENTED); return 0;
  }
}

DWORD GetObjectType(HGDIOBJ h) {
  Guard g(UserMutex());
  auto o = FindGdiLocked(h);
  if (!o) return 0;
  switch (o->kind) {
    case GdiKind::kBrush: return OBJ_BRUSH;
    case GdiKind::kPen: return OBJ_PEN;
    case GdiKind::kFont: return OBJ_FONT;
    case GdiKind::kBitmap: return OBJ_BITMAP;
    case GdiKind::kDc: return o->memory ? OBJ_MEMDC : OBJ_DC;
  }
  return 0;
}

BOOL DeleteObject(HGDIOBJ h) {
  Guard g(UserMutex());
  auto o = FindGdiLocked(h);
  if (!o || o->kind == GdiKind::kDc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (o->stock) return TRUE;
  if (o->selected_into) return FALSE;
  for (auto& [key, other] : Table().objects) {
    if (other->kind == GdiKind::kDc &&
        (other->brush == h || other->pen == h || other->font_obj == h))
      return FALSE;
  }
  RemoveGdiLocked(h);
  return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  auto o = FindGdiLocked(h);
  if (!dc || !o || o->kind == GdiKind::kDc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGDIOBJ old = nullptr;
  switch (o->kind) {
    case GdiKind::kBrush: old = dc->brush; dc->brush = h; break;
    case GdiKind::kPen: old = dc->pen; dc->pen = h; break;
    case GdiKind::kFont: old = dc->font_obj; dc->font_obj = h; break;
    case GdiKind::kBitmap: {
      // Only a memory DC takes a bitmap, and a bitmap is in one DC at a time.
      if (!dc->memory || (o->selected_into && o->selected_into != hdc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      old = dc->bitmap;
      if (auto prev = FindGdiLocked(old, GdiKind::kBitmap)) prev->selected_into = nullptr;
      dc->bitmap = h;
      if (!o->stock) o->selected_into = hdc;
      break;
    }
    case GdiKind::kDc: break;
  }
  return old;
}

HDC CreateCompatibleDC(HDC hdc) {
  Guard g(UserMutex());
  if (hdc && !FindGdiLocked(hdc, GdiKind::kDc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HDC dc = NewWindowDcLocked(nullptr, false);
  auto o = FindGdiLocked(dc);
  o->memory = true;
  o->bitmap = Table().default_bitmap;
  return dc;
}

BOOL DeleteDC(HDC hdc) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (auto bm = FindGdiLocked(dc->bitmap, GdiKind::kBitmap)) bm->selected_into = nullptr;
  RemoveGdiLocked(hdc);
  return TRUE;
}

COLORREF SetTextColor(HDC hdc, COLORREF c) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->text_color;
  dc->text_color = c;
  return old;
}
COLORREF GetTextColor(HDC hdc) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  return dc ? dc->text_color : CLR_INVALID;
}
COLORREF SetBkColor(HDC hdc, COLORREF c) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->bk_color;
  dc->bk_color = c;
  return old;
}
COLORREF GetBkColor(HDC hdc) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  return dc ? dc->bk_color : CLR_INVALID;
}
int SetBkMode(HDC hdc, int mode) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc || (mode != OPAQUE && mode != TRANSPARENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int old = dc->bk_mode;
  dc->bk_mode = mode;
  return old;
}
int GetBkMode(HDC hdc) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  return dc ? dc->bk_mode : 0;
}
