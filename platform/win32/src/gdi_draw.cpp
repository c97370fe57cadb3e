// Drawing calls: each one on a window's device context is recorded for the window.
#include "gdi_internal.h"

#include <algorithm>
#include <cstring>

using namespace w32c::user;

namespace {

W32CPaintOp NewOp(int kind, const GdiObject& dc, RECT r) {
  W32CPaintOp op{};
  op.kind = kind;
  op.rect = r;
  op.color = dc.text_color;
  op.bk_color = dc.bk_color;
  op.bk_mode = dc.bk_mode;
  return op;
}

void CopyText(W32CPaintOp& op, const char* text, size_t n) {
  n = std::min(n, sizeof op.text - 1);
  memcpy(op.text, text, n);
  op.text[n] = 0;
}

bool NeedsSource(DWORD rop) { return rop != BLACKNESS && rop != WHITENESS && rop != PATCOPY; }

BOOL Blit(int kind, HDC hdc, int x, int y, int w, int h, HDC src, int sx, int sy, int sw,
          int sh, DWORD rop) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  W32CPaintOp op = NewOp(kind, *dc, RECT{x, y, x + w, y + h});
  op.format = rop;
  op.source_rect = RECT{sx, sy, sx + sw, sy + sh};
  if (NeedsSource(rop)) {
    auto s = FindGdiLocked(src, GdiKind::kDc);
    if (!s) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (s->memory) {
      if (auto bm = FindGdiLocked(s->bitmap, GdiKind::kBitmap)) {
        op.source = static_cast<HBITMAP>(s->bitmap);
        op.source_size = SIZE{bm->bm_width, bm->bm_height};
      }
    }
  }
  RecordOnDcLocked(*dc, op);
  return TRUE;
}

// Thickness of the borders an edge draws: one pixel for each of outer and inner.
int EdgeThickness(UINT edge) {
  return ((edge & BDR_OUTER) ? 1 : 0) + ((edge & BDR_INNER) ? 1 : 0);
}

struct TextLayout {
  int width = 0;
  int lines = 0;
};

TextLayout Layout(const char* text, size_t n, UINT format, int box_width) {
  TextLayout t;
  bool prefix = !(format & DT_NOPREFIX);
  if (format & DT_SINGLELINE) {
    t.width = TextWidth(text, n, prefix);
    t.lines = 1;
    return t;
  }
  size_t start = 0;
  while (start <= n) {
    size_t end = start;
    while (end < n && text[end] != '\n') ++end;
    size_t line_end = end;
    if (line_end > start && text[line_end - 1] == '\r') --line_end;
    // With DT_WORDBREAK a line breaks at the last space that keeps it inside the box.
    size_t s = start;
    do {
      size_t e = line_end;
      if ((format & DT_WORDBREAK) && box_width > 0) {
        while (e > s && TextWidth(text + s, e - s, prefix) > box_width) {
          size_t sp = e;
          while (sp > s && text[sp - 1] != ' ') --sp;
          if (sp <= s + 0) break;
          e = sp - 1;
        }
      }
      if (e == s && e < line_end && (format & DT_WORDBREAK)) e = line_end;
      t.width = std::max(t.width, TextWidth(text + s, e - s, prefix));
      ++t.lines;
      s = e;
      while (s < line_end && text[s] == ' ') ++s;
    } while (s < line_end);
    if (end >= n) break;
    start = end + 1;
  }
  if (t.lines == 0) t.lines = 1;
  return t;
}

}  // namespace

namespace w32c::user {

int TextWidth(const char* text, size_t length, bool strip_prefix) {
  int chars = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) == 0x80) continue;  // continues a UTF-8 sequence
    if (strip_prefix && c == '&') {
      if (i + 1 < length && text[i + 1] == '&') {
        ++i;
        ++chars;
      }
      continue;
    }
    ++chars;
  }
  return chars * W32C_CHAR_WIDTH;
}

}  // namespace w32c::user

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop) {
  return Blit(W32C_PAINT_BITBLT, hdc, x, y, cx, cy, src, x1, y1, cx, cy, rop);
}

BOOL StretchBlt(HDC hdc, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                DWORD rop) {
  return Blit(W32C_PAINT_STRETCHBLT, hdc, x, y, w, h, src, sx, sy, sw, sh, rop);
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  W32CPaintOp op = NewOp(W32C_PAINT_PATBLT, *dc, RECT{x, y, x + w, y + h});
  op.format = rop;
  op.brush = static_cast<HBRUSH>(dc->brush);
  BrushColorLocked(op.brush, &op.color);
  RecordOnDcLocked(*dc, op);
  return TRUE;
}

namespace {

int BrushOp(int kind, HDC hdc, const RECT* r, HBRUSH brush) {
  if (!r) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  COLORREF color;
  if (!dc || !BrushColorLocked(brush, &color)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  W32CPaintOp op = NewOp(kind, *dc, *r);
  op.color = color;
  op.brush = brush;
  RecordOnDcLocked(*dc, op);
  return 1;
}

}  // namespace

int FillRect(HDC hdc, const RECT* r, HBRUSH brush) {
  return BrushOp(W32C_PAINT_FILLRECT, hdc, r, brush);
}

int FrameRect(HDC hdc, const RECT* r, HBRUSH brush) {
  return BrushOp(W32C_PAINT_FRAMERECT, hdc, r, brush);
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  HBRUSH brush;
  {
    Guard g(UserMutex());
    auto dc = FindGdiLocked(hdc, GdiKind::kDc);
    if (!dc) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    brush = static_cast<HBRUSH>(dc->brush);
  }
  RECT r{left, top, right, bottom};
  return BrushOp(W32C_PAINT_RECTANGLE, hdc, &r, brush) ? TRUE : FALSE;
}

BOOL DrawEdge(HDC hdc, LPRECT r, UINT edge, UINT flags) {
  if (!r) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  W32CPaintOp op = NewOp(W32C_PAINT_EDGE, *dc, *r);
  op.format = edge;
  op.flags = flags;
  op.color = GetSysColor(COLOR_3DSHADOW);
  RecordOnDcLocked(*dc, op);
  if (flags & BF_ADJUST) {
    int t = EdgeThickness(edge);
    if (flags & BF_LEFT) r->left += t;
    if (flags & BF_TOP) r->top += t;
    if (flags & BF_RIGHT) r->right -= t;
    if (flags & BF_BOTTOM) r->bottom -= t;
  }
  return TRUE;
}

int DrawTextA(HDC hdc, LPCSTR text, int count, LPRECT r, UINT format) {
  if (!text || !r) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = count < 0 ? strlen(text) : static_cast<size_t>(count);
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  TextLayout t = Layout(text, n, format, r->right - r->left);
  int height = t.lines * W32C_CHAR_HEIGHT;
  if (format & DT_CALCRECT) {
    r->right = r->left + t.width;
    r->bottom = r->top + height;
    return height;
  }
  W32CPaintOp op = NewOp(W32C_PAINT_TEXT, *dc, *r);
  op.format = format;
  CopyText(op, text, n);
  RecordOnDcLocked(*dc, op);
  return height;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int count) {
  if (!text || count < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  auto dc = FindGdiLocked(hdc, GdiKind::kDc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  size_t n = static_cast<size_t>(count);
  W32CPaintOp op = NewOp(W32C_PAINT_TEXTOUT, *dc,
                         RECT{x, y, x + TextWidth(text, n, false), y + W32C_CHAR_HEIGHT});
  CopyText(op, text, n);
  RecordOnDcLocked(*dc, op);
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, LPSIZE size) {
  if (!size || count < 0 || (!text && count > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  if (!FindGdiLocked(hdc, GdiKind::kDc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  size->cx = count ? TextWidth(text, static_cast<size_t>(count), false) : 0;
  size->cy = W32C_CHAR_HEIGHT;
  return TRUE;
}

BOOL GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm) {
  if (!tm) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(UserMutex());
  if (!FindGdiLocked(hdc, GdiKind::kDc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *tm = TEXTMETRICA{};
  tm->tmHeight = W32C_CHAR_HEIGHT;
  tm->tmAscent = 11;
  tm->tmDescent = 2;
  tm->tmAveCharWidth = W32C_CHAR_WIDTH;
  tm->tmMaxCharWidth = W32C_CHAR_WIDTH;
  tm->tmWeight = 400;
  tm->tmDigitizedAspectX = 96;
  tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = 0xFF;
  tm->tmDefaultChar = '?';
  tm->tmBreakChar = ' ';
  return TRUE;
}
