// GDI objects of the headless window system: brushes, pens, fonts, bitmaps and device
// contexts, all in one handle table guarded by the window system's mutex.
#pragma once
#include "user_internal.h"

namespace w32c::user {

enum class GdiKind { kBrush, kPen, kFont, kBitmap, kDc };

struct GdiObject {
  GdiKind kind;
  HANDLE handle = nullptr;
  bool stock = false;  // owned by the system: never deleted
  // brushes and pens
  COLORREF color = 0;
  UINT style = 0;
  int width = 1;
  // fonts
  LOGFONTA font{};
  // bitmaps
  LONG bm_width = 0;
  LONG bm_height = 0;
  WORD planes = 1;
  WORD bpp = 1;
  bool dib = false;
  std::vector<uint8_t> bits;  // pixels of a DIB section
  HDC selected_into = nullptr;
  // device contexts
  bool memory = false;
  HWND window = nullptr;  // the window drawn on (nullptr: the screen or memory)
  bool whole_window = false;  // GetWindowDC: origin at the window's top left
  HGDIOBJ brush = nullptr;
  HGDIOBJ pen = nullptr;
  HGDIOBJ font_obj = nullptr;
  HGDIOBJ bitmap = nullptr;
  COLORREF text_color = 0;
  COLORREF bk_color = 0xFFFFFF;
  int bk_mode = OPAQUE;
};

std::shared_ptr<GdiObject> FindGdiLocked(HANDLE h);
std::shared_ptr<GdiObject> FindGdiLocked(HANDLE h, GdiKind kind);
HANDLE NewGdiLocked(std::shared_ptr<GdiObject> object);
void RemoveGdiLocked(HANDLE h);
// A device context drawing on a window; nullptr with ERROR_INVALID_WINDOW_HANDLE.
HDC NewWindowDcLocked(HWND hwnd, bool whole_window);
// Appends a drawing call to the record of the window a device context draws on.
void RecordOnDcLocked(const GdiObject& dc, W32CPaintOp op);

}  // namespace w32c::user
