// Common controls of the stand-in: the progress bar "msctls_progress32".  The class is
// always registered; InitCommonControls and InitCommonControlsEx only report success.
#pragma once
#include <windows.h>

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_WIN95_CLASSES 0x000000FF
#define ICC_STANDARD_CLASSES 0x00004000

W32C_API void InitCommonControls(void);
// FALSE (ERROR_INVALID_PARAMETER) for a null record or a wrong dwSize.
W32C_API BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce);

#define PROGRESS_CLASSA "msctls_progress32"
#define PROGRESS_CLASS PROGRESS_CLASSA

#define PBS_SMOOTH 0x01
#define PBS_VERTICAL 0x04

typedef struct {
  int iLow;
  int iHigh;
} PBRANGE, *PPBRANGE;

// Messages and their results:
//   PBM_SETRANGE    lParam MAKELPARAM(min, max) of 16-bit unsigned values; the previous
//                   range as MAKELONG(min, max) of their low 16 bits
//   PBM_SETRANGE32  wParam min, lParam max; the previous range, packed the same way
//   PBM_GETRANGE    wParam TRUE: the low limit, FALSE: the high limit; fills the PBRANGE
//                   at lParam when given
//   PBM_SETPOS      the previous position; the new one is clamped to the range
//   PBM_GETPOS      the position
//   PBM_DELTAPOS    adds wParam (signed); the previous position; clamped
//   PBM_SETSTEP     the previous step (10 at first)
//   PBM_STEPIT      adds the step; the previous position.  Past the maximum the position
//                   starts over: min + (pos - min) mod (max - min), and the same
//                   downward below the minimum
//   PBM_SETBARCOLOR, PBM_SETBKCOLOR  lParam the colour or CLR_DEFAULT; the previous one
//   PBM_GETBARCOLOR, PBM_GETBKCOLOR  the colour (CLR_DEFAULT at first)
// A range whose maximum is below its minimum keeps the values as given; the position is
// then clamped as if they were swapped.  Painting: the background is filled with the
// background colour (COLOR_3DFACE by default) and the bar (COLOR_HIGHLIGHT by default)
// as one rectangle inside a one-pixel margin, smooth or not.
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)
#define PBM_SETBARCOLOR (WM_USER + 9)
#define PBM_SETBKCOLOR 0x2001
#define PBM_GETBKCOLOR (WM_USER + 14)
#define PBM_GETBARCOLOR (WM_USER + 15)
