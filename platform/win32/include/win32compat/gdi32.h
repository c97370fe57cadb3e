// Device contexts, drawing objects and drawing calls.  Nothing is rendered: every drawing
// call on a window's device context is recorded for that window (headless.h reads the
// record back); drawing into a memory device context changes nothing visible and is not
// recorded.  Coordinates of records are the window's client coordinates.
//
// Text: a fixed cell of W32C_CHAR_WIDTH x W32C_CHAR_HEIGHT pixels per character, for
// every font (a UTF-8 sequence counts as one character; "&" prefixes of DrawTextA without
// DT_NOPREFIX take no room).
//
// System colours (GetSysColor), the classic Windows scheme:
//   COLOR_SCROLLBAR C0C0C0, COLOR_BACKGROUND 008080, COLOR_ACTIVECAPTION 000080,
//   COLOR_INACTIVECAPTION 808080, COLOR_MENU C0C0C0, COLOR_WINDOW FFFFFF,
//   COLOR_WINDOWFRAME 000000, COLOR_MENUTEXT 000000, COLOR_WINDOWTEXT 000000,
//   COLOR_CAPTIONTEXT FFFFFF, COLOR_ACTIVEBORDER C0C0C0, COLOR_INACTIVEBORDER C0C0C0,
//   COLOR_APPWORKSPACE 808080, COLOR_HIGHLIGHT 000080, COLOR_HIGHLIGHTTEXT FFFFFF,
//   COLOR_3DFACE C0C0C0, COLOR_3DSHADOW 808080, COLOR_GRAYTEXT 808080,
//   COLOR_BTNTEXT 000000, COLOR_INACTIVECAPTIONTEXT C0C0C0, COLOR_3DHILIGHT FFFFFF,
//   COLOR_3DDKSHADOW 000000, COLOR_3DLIGHT C0C0C0, COLOR_INFOTEXT 000000,
//   COLOR_INFOBK FFFFE1, COLOR_HOTLIGHT 0000FF, COLOR_GRADIENTACTIVECAPTION 1084D0,
//   COLOR_GRADIENTINACTIVECAPTION B5B5B5 (written as RRGGBB).
#pragma once
#include <win32compat/types.h>

#define W32C_CHAR_WIDTH 6
#define W32C_CHAR_HEIGHT 13

#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_DESKTOP 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_3DFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_3DSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DHILIGHT 20
#define COLOR_3DHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_HOTLIGHT 26
#define COLOR_GRADIENTACTIVECAPTION 27
#define COLOR_GRADIENTINACTIVECAPTION 28
#define COLOR_MENUHILIGHT 29
#define COLOR_MENUBAR 30

#define CLR_INVALID 0xFFFFFFFFu
#define CLR_NONE 0xFFFFFFFFu
#define CLR_DEFAULT 0xFF000000u

W32C_API DWORD GetSysColor(int nIndex);
// The brushes of GetSysColorBrush are owned by the system: DeleteObject leaves them.
W32C_API HBRUSH GetSysColorBrush(int nIndex);

// Objects
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define PS_SOLID 0
#define PS_NULL 5

typedef struct tagLOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
} LOGBRUSH, *PLOGBRUSH, *LPLOGBRUSH;

typedef struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
} BITMAPFILEHEADER, *PBITMAPFILEHEADER, *LPBITMAPFILEHEADER;
#pragma pack(pop)

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD, *LPRGBQUAD;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

#define BI_RGB 0
#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define CBM_INIT 0x04

#define LF_FACESIZE 32
typedef struct tagLOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA, *PLOGFONTA, *LPLOGFONTA;

typedef struct tagTEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
} TEXTMETRICA, *PTEXTMETRICA, *LPTEXTMETRICA;

W32C_API HGDIOBJ GetStockObject(int i);
W32C_API HBRUSH CreateSolidBrush(COLORREF color);
W32C_API HBRUSH CreateBrushIndirect(const LOGBRUSH* plbrush);
W32C_API HPEN CreatePen(int iStyle, int cWidth, COLORREF color);
W32C_API HFONT CreateFontIndirectA(const LOGFONTA* lplf);
// Bitmaps keep their size and format; their pixels are stored only for DIB sections.
// Sizes above 32768 on a side or 256 MiB of pixels fail with ERROR_INVALID_PARAMETER.
W32C_API HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                              const void* lpBits);
W32C_API HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
W32C_API HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit,
                                const void* pjBits, const BITMAPINFO* pbmi, UINT iUsage);
W32C_API HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                  HANDLE hSection, DWORD offset);
// The bitmap resource (RT_BITMAP) of a module: a DIB without its file header.
W32C_API HBITMAP LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName);
// BITMAP for bitmaps, LOGBRUSH for brushes, LOGFONTA for fonts; null buffer: the size.
W32C_API int GetObjectA(HANDLE h, int c, LPVOID pv);
W32C_API DWORD GetObjectType(HGDIOBJ h);
// Fails (FALSE) for an object still selected into a device context; stock objects are
// left alone and report success.
W32C_API BOOL DeleteObject(HGDIOBJ ho);
W32C_API HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
W32C_API HDC CreateCompatibleDC(HDC hdc);
W32C_API BOOL DeleteDC(HDC hdc);

#define TRANSPARENT 1
#define OPAQUE 2
W32C_API COLORREF SetTextColor(HDC hdc, COLORREF color);
W32C_API COLORREF GetTextColor(HDC hdc);
W32C_API COLORREF SetBkColor(HDC hdc, COLORREF color);
W32C_API COLORREF GetBkColor(HDC hdc);
W32C_API int SetBkMode(HDC hdc, int mode);
W32C_API int GetBkMode(HDC hdc);

#define SRCCOPY 0x00CC0020u
#define SRCPAINT 0x00EE0086u
#define SRCAND 0x008800C6u
#define SRCINVERT 0x00660046u
#define PATCOPY 0x00F00021u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u
// The source of a copy must be a memory device context with a bitmap selected (or none
// for BLACKNESS, WHITENESS and PATCOPY); the record names that bitmap and its size.
W32C_API BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1,
                     DWORD rop);
W32C_API BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                         int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop);
W32C_API BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);

// A brush may also be a system colour index + 1, as window classes use them.
W32C_API int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
W32C_API int FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
W32C_API BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);

#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define BDR_OUTER (BDR_RAISEDOUTER | BDR_SUNKENOUTER)
#define BDR_INNER (BDR_RAISEDINNER | BDR_SUNKENINNER)
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_TOPLEFT (BF_TOP | BF_LEFT)
#define BF_BOTTOMRIGHT (BF_BOTTOM | BF_RIGHT)
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_MIDDLE 0x0800
#define BF_SOFT 0x1000
#define BF_ADJUST 0x2000
#define BF_FLAT 0x4000
#define BF_MONO 0x8000
// One pixel per drawn border (outer, inner); BF_ADJUST shrinks the rectangle by them on
// the sides drawn.
W32C_API BOOL DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags);

#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_END_ELLIPSIS 0x00008000
#define DT_PATH_ELLIPSIS 0x00004000
// Lines break at line feeds (and at spaces with DT_WORDBREAK); returns the text height.
W32C_API int DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format);
W32C_API BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);
W32C_API BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl);
W32C_API BOOL GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm);

W32C_API int MulDiv(int nNumber, int nNumerator, int nDenominator);

// Rectangles
W32C_API BOOL SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom);
W32C_API BOOL SetRectEmpty(LPRECT lprc);
W32C_API BOOL CopyRect(LPRECT lprcDst, const RECT* lprcSrc);
W32C_API BOOL InflateRect(LPRECT lprc, int dx, int dy);
W32C_API BOOL OffsetRect(LPRECT lprc, int dx, int dy);
W32C_API BOOL IsRectEmpty(const RECT* lprc);
W32C_API BOOL PtInRect(const RECT* lprc, POINT pt);
W32C_API BOOL IntersectRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
W32C_API BOOL UnionRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
W32C_API BOOL EqualRect(const RECT* lprc1, const RECT* lprc2);
