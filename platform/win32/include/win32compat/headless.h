// Controls of the headless window system for tests and automation: screen size, message
// box answers, simulated clicks and the record of painting.  Not part of Win32.
#pragma once
#include <win32compat/types.h>

// Screen size in pixels (1024 x 768 at start).  The work area follows the screen unless
// set; a null rectangle returns it to the whole screen.  Sizes below 1 fail.
W32C_API BOOL Win32CompatSetScreenSize(int width, int height);
W32C_API BOOL Win32CompatSetWorkArea(const RECT* area);

// The message box responder: called for every box before any other answer source, with
// the box's owner, text, caption (never null) and style.  It returns the button id
// (IDOK, IDCANCEL, ...); 0 passes the box on to the environment list, the terminal and
// the default button.  An id that is not a button of the box gives the default button.
typedef int (*W32CMessageBoxResponder)(void* context, HWND owner, const char* text,
                                       const char* caption, UINT type);
W32C_API void Win32CompatSetMessageBoxResponder(W32CMessageBoxResponder responder,
                                                void* context);
// Starts WIN32COMPAT_MSGBOX_ANSWERS again from its first item.
W32C_API void Win32CompatResetMessageBoxAnswers(void);

// Clicks a button as the mouse would: posts WM_LBUTTONDOWN and WM_LBUTTONUP to it, so
// that it notifies its parent (WM_COMMAND with BN_CLICKED) when its thread dispatches
// them.  Only a button that is visible and enabled, with every ancestor visible and
// enabled, can be clicked: otherwise FALSE with ERROR_ACCESS_DENIED.  A button disabled
// between the click and the dispatch ignores it.
W32C_API BOOL Win32CompatClickButton(HWND button);
// The same for a window found by its dialog item id.
W32C_API BOOL Win32CompatClickDlgItem(HWND dialog, int id);

// Creates a modeless dialog from a template of known size (as CreateDialogIndirectParamA
// does, but a template running past size fails with ERROR_INVALID_DATA).
W32C_API HWND Win32CompatCreateDialogFromBytes(HINSTANCE instance, const void* data,
                                               size_t size, HWND parent, DLGPROC proc,
                                               LPARAM param);

// The painting record of a window: every drawing call made on a device context of the
// window (GetDC, BeginPaint, GetWindowDC) since the window was created or the record was
// cleared.
enum W32CPaintKind {
  W32C_PAINT_FILLRECT = 1,   // rect, color (the brush's), brush
  W32C_PAINT_FRAMERECT = 2,  // rect, color, brush
  W32C_PAINT_EDGE = 3,       // rect (before BF_ADJUST), format = edge, flags = BF_ flags
  W32C_PAINT_TEXT = 4,       // DrawTextA: rect as given, text, format = DT_ flags,
                             // color = text colour, bk_color, bk_mode
  W32C_PAINT_TEXTOUT = 5,    // TextOutA: rect = position and text extent, as above
  W32C_PAINT_BITBLT = 6,     // rect = destination, source_rect, source bitmap and its
                             // size, format = raster operation
  W32C_PAINT_STRETCHBLT = 7, // as BITBLT with a destination size of its own
  W32C_PAINT_PATBLT = 8,     // rect, format = raster operation, color of the brush
  W32C_PAINT_RECTANGLE = 9,  // rect, color of the brush
  W32C_PAINT_ERASE = 10      // the window's background erased by DefWindowProcA: rect,
                             // color, brush
};

typedef struct W32CPaintOp {
  int kind;                // W32CPaintKind
  RECT rect;               // client coordinates
  COLORREF color;
  COLORREF bk_color;
  int bk_mode;             // OPAQUE or TRANSPARENT
  UINT format;
  UINT flags;
  HBRUSH brush;
  HBITMAP source;          // the bitmap copied from, or nullptr
  SIZE source_size;        // its full size
  RECT source_rect;        // the part copied, in the bitmap's coordinates
  char text[256];          // the text drawn (truncated to 255 bytes), else empty
} W32CPaintOp;

W32C_API size_t Win32CompatPaintOpCount(HWND window);
// FALSE when the window is invalid or index is past the record.
W32C_API BOOL Win32CompatGetPaintOp(HWND window, size_t index, W32CPaintOp* op);
W32C_API void Win32CompatClearPaintOps(HWND window);
