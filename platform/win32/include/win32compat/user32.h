// Windows, messages, dialogs and message boxes of a headless window system.
//
// Nothing is drawn on a screen, but everything else is real: windows have classes,
// procedures, rectangles, texts, styles, owners and children; every thread has a message
// queue; dialogs are built from binary dialog templates; painting calls are recorded (see
// win32compat/headless.h for the test controls).
//
// Fixed metrics, the same on every machine (96 DPI, the classic Windows look):
//   screen                     1024 x 768 (settable: Win32CompatSetScreenSize)
//   work area                  the whole screen (settable: Win32CompatSetWorkArea)
//   SM_CYCAPTION               19   caption bar of WS_CAPTION windows, border line included
//   SM_CYSMCAPTION             16   caption bar of WS_EX_TOOLWINDOW windows
//   SM_CXBORDER, SM_CYBORDER   1    WS_BORDER without WS_DLGFRAME; WS_EX_STATICEDGE
//   SM_CXDLGFRAME, SM_CYDLGFRAME 3  WS_DLGFRAME (so WS_CAPTION), DS_MODALFRAME,
//                                   WS_EX_DLGMODALFRAME
//   SM_CXFRAME, SM_CYFRAME     4    WS_THICKFRAME (replaces the dialog frame)
//   SM_CXEDGE, SM_CYEDGE       2    WS_EX_CLIENTEDGE (added inside the frame)
//   SM_CXVSCROLL, SM_CYHSCROLL 16   WS_VSCROLL / WS_HSCROLL take this from the client area
// The window rectangle is the client rectangle grown by the frame on every side and by
// the caption at the top.
//
// Dialog base units are those of "MS Sans Serif" 8 points at 96 DPI: 6 x 13 pixels, so
// x pixels = MulDiv(x, 6, 4) and y pixels = MulDiv(y, 13, 8) (rounded to nearest); the
// same for every font a template names.  GetDialogBaseUnits answers 8 x 16 (the system
// font).  Text extents use a fixed cell of 6 x 13 pixels per character (a UTF-8 sequence
// counts as one character); see GetTextExtentPoint32A in gdi32.h.
//
// Sibling order: children are kept in creation order, the first one created on top, as
// the dialog manager does with template items; GW_CHILD gives the first, GW_HWNDNEXT the
// next.  Windows belong to the thread that created them: messages sent from another
// thread are delivered when the owning thread takes messages from its queue.
#pragma once
#include <win32compat/types.h>

// Window-manager error codes (kept here beside the calls that set them).
#ifndef ERROR_TLW_WITH_WSCHILD
#define ERROR_TLW_WITH_WSCHILD 1406L
#endif
#ifndef ERROR_CLASS_HAS_WINDOWS
#define ERROR_CLASS_HAS_WINDOWS 1412L
#endif
#ifndef ERROR_INVALID_THREAD_ID
#define ERROR_INVALID_THREAD_ID 1444L
#endif
#ifndef ERROR_NOT_CHILD_WINDOW
#define ERROR_NOT_CHILD_WINDOW 1442L
#endif

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

// ---------------------------------------------------------------------------------------
// Window styles
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_SIZEBOX WS_THICKFRAME
#define WS_CHILDWINDOW WS_CHILD
#define WS_OVERLAPPEDWINDOW \
  (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define WS_POPUPWINDOW (WS_POPUP | WS_BORDER | WS_SYSMENU)

#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_ACCEPTFILES 0x00000010L
#define WS_EX_TRANSPARENT 0x00000020L
#define WS_EX_MDICHILD 0x00000040L
#define WS_EX_TOOLWINDOW 0x00000080L
#define WS_EX_WINDOWEDGE 0x00000100L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTEXTHELP 0x00000400L
#define WS_EX_RIGHT 0x00001000L
#define WS_EX_LEFT 0x00000000L
#define WS_EX_CONTROLPARENT 0x00010000L
#define WS_EX_STATICEDGE 0x00020000L
#define WS_EX_APPWINDOW 0x00040000L
#define WS_EX_OVERLAPPEDWINDOW (WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE)

#define CW_USEDEFAULT ((int)0x80000000)
#define HWND_DESKTOP ((HWND)0)
#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)(LONG_PTR)-1)
#define HWND_NOTOPMOST ((HWND)(LONG_PTR)-2)
#define HWND_MESSAGE ((HWND)(LONG_PTR)-3)

// Class styles
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008
#define CS_OWNDC 0x0020
#define CS_CLASSDC 0x0040
#define CS_PARENTDC 0x0080
#define CS_NOCLOSE 0x0200
#define CS_SAVEBITS 0x0800
#define CS_GLOBALCLASS 0x4000

// Dialog styles
#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_LOCALEDIT 0x20L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_NOIDLEMSG 0x100L
#define DS_SETFOREGROUND 0x200L
#define DS_3DLOOK 0x0004L
#define DS_FIXEDSYS 0x0008L
#define DS_NOFAILCREATE 0x0010L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L
#define DS_CENTERMOUSE 0x1000L
#define DS_CONTEXTHELP 0x2000L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)

// Static control styles and notifications
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_ICON 0x00000003L
#define SS_BLACKRECT 0x00000004L
#define SS_GRAYRECT 0x00000005L
#define SS_WHITERECT 0x00000006L
#define SS_SIMPLE 0x0000000BL
#define SS_LEFTNOWORDWRAP 0x0000000CL
#define SS_BITMAP 0x0000000EL
#define SS_ETCHEDFRAME 0x00000012L
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define SS_NOTIFY 0x00000100L
#define SS_CENTERIMAGE 0x00000200L
#define SS_SUNKEN 0x00001000L
#define STN_CLICKED 0
#define STN_DBLCLK 1
#define STN_ENABLE 2
#define STN_DISABLE 3

// Button styles, messages and notifications
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_RADIOBUTTON 0x00000004L
#define BS_3STATE 0x00000005L
#define BS_AUTO3STATE 0x00000006L
#define BS_GROUPBOX 0x00000007L
#define BS_USERBUTTON 0x00000008L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_OWNERDRAW 0x0000000BL
#define BS_TYPEMASK 0x0000000FL
#define BS_LEFTTEXT 0x00000020L
#define BS_LEFT 0x00000100L
#define BS_RIGHT 0x00000200L
#define BS_CENTER 0x00000300L
#define BS_TOP 0x00000400L
#define BS_BOTTOM 0x00000800L
#define BS_VCENTER 0x00000C00L
#define BS_PUSHLIKE 0x00001000L
#define BS_MULTILINE 0x00002000L
#define BS_NOTIFY 0x00004000L
#define BS_FLAT 0x00008000L
#define BN_CLICKED 0
#define BN_DISABLE 4
#define BN_DOUBLECLICKED 5
#define BN_SETFOCUS 6
#define BN_KILLFOCUS 7
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_GETSTATE 0x00F2
#define BM_SETSTATE 0x00F3
#define BM_SETSTYLE 0x00F4
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BST_INDETERMINATE 0x0002
#define BST_PUSHED 0x0004
#define BST_FOCUS 0x0008

// Edit control styles and messages (text only; no caret or selection)
#define ES_LEFT 0x0000L
#define ES_CENTER 0x0001L
#define ES_RIGHT 0x0002L
#define ES_MULTILINE 0x0004L
#define ES_UPPERCASE 0x0008L
#define ES_LOWERCASE 0x0010L
#define ES_PASSWORD 0x0020L
#define ES_AUTOVSCROLL 0x0040L
#define ES_AUTOHSCROLL 0x0080L
#define ES_NOHIDESEL 0x0100L
#define ES_READONLY 0x0800L
#define ES_WANTRETURN 0x1000L
#define ES_NUMBER 0x2000L
#define EM_GETLIMITTEXT 0x00D5
#define EM_SETLIMITTEXT 0x00C5
#define EM_LIMITTEXT 0x00C5
#define EM_SETREADONLY 0x00CF
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400

// ---------------------------------------------------------------------------------------
// Messages
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUERYENDSESSION 0x0011
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SYSCOLORCHANGE 0x0015
#define WM_SHOWWINDOW 0x0018
#define WM_ACTIVATEAPP 0x001C
#define WM_SETCURSOR 0x0020
#define WM_MOUSEACTIVATE 0x0021
#define WM_GETMINMAXINFO 0x0024
#define WM_NEXTDLGCTL 0x0028
#define WM_DRAWITEM 0x002B
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_WINDOWPOSCHANGING 0x0046
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_NOTIFY 0x004E
#define WM_HELP 0x0053
#define WM_STYLECHANGING 0x007C
#define WM_STYLECHANGED 0x007D
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_NCCALCSIZE 0x0083
#define WM_NCHITTEST 0x0084
#define WM_NCPAINT 0x0085
#define WM_NCACTIVATE 0x0086
#define WM_GETDLGCODE 0x0087
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSCROLLBAR 0x0137
#define WM_CTLCOLORSTATIC 0x0138
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_PARENTNOTIFY 0x0210
#define WM_USER 0x0400
#define WM_APP 0x8000

#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B

#define WA_INACTIVE 0
#define WA_ACTIVE 1

#define MK_LBUTTON 0x0001

#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_WANTMESSAGE 0x0004
#define DLGC_HASSETSEL 0x0008
#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_RADIOBUTTON 0x0040
#define DLGC_WANTCHARS 0x0080
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000

#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20

#define SC_CLOSE 0xF060

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *PMSG, *LPMSG;

// PeekMessageA
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

W32C_API BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
// Flags other than PM_REMOVE and PM_NOYIELD (the PM_QS_* filters) fail with
// ERROR_CALL_NOT_IMPLEMENTED.
W32C_API BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                           UINT wRemoveMsg);
W32C_API BOOL TranslateMessage(const MSG* lpMsg);
W32C_API LRESULT DispatchMessageA(const MSG* lpMsg);
W32C_API BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
W32C_API BOOL PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
W32C_API LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
W32C_API void PostQuitMessage(int nExitCode);
W32C_API BOOL WaitMessage(void);
W32C_API DWORD GetMessageTime(void);
W32C_API BOOL InSendMessage(void);

W32C_API UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
W32C_API BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent);

// ---------------------------------------------------------------------------------------
// Window classes and windows
typedef struct tagWNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
} WNDCLASSA, *PWNDCLASSA, *LPWNDCLASSA;

typedef struct tagWNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
} WNDCLASSEXA, *PWNDCLASSEXA, *LPWNDCLASSEXA;

typedef struct tagCREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTA, *LPCREATESTRUCTA;

typedef struct tagWINDOWPOS {
  HWND hwnd;
  HWND hwndInsertAfter;
  int x;
  int y;
  int cx;
  int cy;
  UINT flags;
} WINDOWPOS, *LPWINDOWPOS, *PWINDOWPOS;

typedef struct tagWINDOWPLACEMENT {
  UINT length;
  UINT flags;
  UINT showCmd;
  POINT ptMinPosition;
  POINT ptMaxPosition;
  RECT rcNormalPosition;
} WINDOWPLACEMENT, *PWINDOWPLACEMENT, *LPWINDOWPLACEMENT;

typedef struct tagSTYLESTRUCT {
  DWORD styleOld;
  DWORD styleNew;
} STYLESTRUCT, *LPSTYLESTRUCT;

// The class names of the predefined classes; "#32770" is the dialog class.
#define WC_DIALOG MAKEINTRESOURCEA(0x8002)

W32C_API ATOM RegisterClassA(const WNDCLASSA* lpWndClass);
W32C_API ATOM RegisterClassExA(const WNDCLASSEXA* lpwcx);
W32C_API BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
W32C_API BOOL GetClassInfoA(HINSTANCE hInstance, LPCSTR lpClassName, LPWNDCLASSA lpWndClass);
W32C_API int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount);

// A non-null hMenu of a window that is not a child fails with ERROR_INVALID_MENU_HANDLE:
// there are no menus.
W32C_API HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                              DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                              HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                              LPVOID lpParam);
#define CreateWindowA(cls, name, style, x, y, w, h, parent, menu, inst, param) \
  CreateWindowExA(0, cls, name, style, x, y, w, h, parent, menu, inst, param)
// Destroys the owned windows, then sends WM_DESTROY to the window and then to its
// children, then WM_NCDESTROY to the children and last to the window.  A window of another
// thread cannot be destroyed (ERROR_ACCESS_DENIED).
W32C_API BOOL DestroyWindow(HWND hWnd);
W32C_API BOOL IsWindow(HWND hWnd);
W32C_API BOOL IsChild(HWND hWndParent, HWND hWnd);

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10
#define SW_FORCEMINIMIZE 11
// Minimised and maximised states do not exist here: those commands change nothing and
// set ERROR_CALL_NOT_IMPLEMENTED.
W32C_API BOOL ShowWindow(HWND hWnd, int nCmdShow);
W32C_API BOOL UpdateWindow(HWND hWnd);
W32C_API BOOL IsWindowVisible(HWND hWnd);
W32C_API BOOL IsIconic(HWND hWnd);
W32C_API BOOL IsZoomed(HWND hWnd);
W32C_API BOOL EnableWindow(HWND hWnd, BOOL bEnable);
W32C_API BOOL IsWindowEnabled(HWND hWnd);

W32C_API BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString);
W32C_API int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
W32C_API int GetWindowTextLengthA(HWND hWnd);

W32C_API BOOL GetWindowRect(HWND hWnd, LPRECT lpRect);
W32C_API BOOL GetClientRect(HWND hWnd, LPRECT lpRect);
W32C_API BOOL AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle);
W32C_API BOOL AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu);
W32C_API BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint);

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_DRAWFRAME SWP_FRAMECHANGED
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOCOPYBITS 0x0100
#define SWP_NOOWNERZORDER 0x0200
#define SWP_NOREPOSITION SWP_NOOWNERZORDER
#define SWP_NOSENDCHANGING 0x0400
#define SWP_DEFERERASE 0x2000
#define SWP_ASYNCWINDOWPOS 0x4000
// Other flag bits fail with ERROR_INVALID_PARAMETER.
W32C_API BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                           UINT uFlags);

#define WPF_SETMINPOSITION 0x0001
#define WPF_RESTORETOMAXIMIZED 0x0002
#define WPF_ASYNCWINDOWPLACEMENT 0x0004
// rcNormalPosition is in the parent's client coordinates for a child window and in
// work-area coordinates for any other.  SetWindowPlacement needs length set.
W32C_API BOOL GetWindowPlacement(HWND hWnd, WINDOWPLACEMENT* lpwndpl);
W32C_API BOOL SetWindowPlacement(HWND hWnd, const WINDOWPLACEMENT* lpwndpl);

W32C_API BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint);
W32C_API BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint);
W32C_API int MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints);

#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5
#define GW_ENABLEDPOPUP 6
#define GA_PARENT 1
#define GA_ROOT 2
#define GA_ROOTOWNER 3
// GetParent: the parent of a child window, the owner of a popup, else nullptr.
W32C_API HWND GetParent(HWND hWnd);
W32C_API HWND SetParent(HWND hWndChild, HWND hWndNewParent);
W32C_API HWND GetAncestor(HWND hwnd, UINT gaFlags);
W32C_API HWND GetWindow(HWND hWnd, UINT uCmd);
W32C_API HWND GetDesktopWindow(void);
W32C_API DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);
W32C_API HWND FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName);

W32C_API BOOL SetForegroundWindow(HWND hWnd);
W32C_API HWND GetForegroundWindow(void);
W32C_API HWND SetActiveWindow(HWND hWnd);
W32C_API HWND GetActiveWindow(void);
W32C_API BOOL BringWindowToTop(HWND hWnd);
W32C_API HWND SetFocus(HWND hWnd);
W32C_API HWND GetFocus(void);
W32C_API HWND SetCapture(HWND hWnd);
W32C_API BOOL ReleaseCapture(void);
W32C_API HWND GetCapture(void);

// Window data.  DWLP_* are offsets into a dialog's extra bytes.
#define GWL_WNDPROC (-4)
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWL_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWL_HWNDPARENT (-8)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_USERDATA (-21)
#define GWLP_USERDATA (-21)
#define GWL_ID (-12)
#define GWLP_ID (-12)
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC (DWLP_MSGRESULT + (int)sizeof(LRESULT))
#define DWLP_USER (DWLP_DLGPROC + (int)sizeof(DLGPROC))
#define DWL_MSGRESULT DWLP_MSGRESULT
#define DWL_DLGPROC DWLP_DLGPROC
#define DWL_USER DWLP_USER
#define DLGWINDOWEXTRA 30
#define GCLP_HBRBACKGROUND (-10)
#define GCL_STYLE (-26)
#define GCLP_WNDPROC (-24)
// On 64-bit hosts GetWindowLongA/SetWindowLongA refuse the pointer-valued GWLP_WNDPROC
// and GWLP_HINSTANCE (ERROR_INVALID_INDEX) instead of truncating them.
W32C_API LONG GetWindowLongA(HWND hWnd, int nIndex);
W32C_API LONG SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong);
W32C_API LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex);
W32C_API LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
W32C_API ULONG_PTR GetClassLongPtrA(HWND hWnd, int nIndex);

W32C_API LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                 LPARAM lParam);
W32C_API LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Painting (the device contexts and drawing calls are in gdi32.h)
typedef struct tagPAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
} PAINTSTRUCT, *PPAINTSTRUCT, *LPPAINTSTRUCT;

#define RDW_INVALIDATE 0x0001
#define RDW_INTERNALPAINT 0x0002
#define RDW_ERASE 0x0004
#define RDW_VALIDATE 0x0008
#define RDW_NOERASE 0x0020
#define RDW_ALLCHILDREN 0x0080
#define RDW_UPDATENOW 0x0100
#define RDW_ERASENOW 0x0200
#define RDW_NOCHILDREN 0x0040
// The update region is kept as its bounding rectangle.
W32C_API BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
W32C_API BOOL ValidateRect(HWND hWnd, const RECT* lpRect);
W32C_API BOOL GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase);
W32C_API BOOL RedrawWindow(HWND hWnd, const RECT* lprcUpdate, HRGN hrgnUpdate, UINT flags);
W32C_API HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint);
W32C_API BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);
W32C_API HDC GetDC(HWND hWnd);
W32C_API HDC GetWindowDC(HWND hWnd);
W32C_API int ReleaseDC(HWND hWnd, HDC hDC);

// Metrics
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXVSCROLL 2
#define SM_CYHSCROLL 3
#define SM_CYCAPTION 4
#define SM_CXBORDER 5
#define SM_CYBORDER 6
#define SM_CXDLGFRAME 7
#define SM_CYDLGFRAME 8
#define SM_CXFIXEDFRAME SM_CXDLGFRAME
#define SM_CYFIXEDFRAME SM_CYDLGFRAME
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXCURSOR 13
#define SM_CYCURSOR 14
#define SM_CYMENU 15
#define SM_CXFULLSCREEN 16
#define SM_CYFULLSCREEN 17
#define SM_CXMIN 28
#define SM_CYMIN 29
#define SM_CXSIZE 30
#define SM_CYSIZE 31
#define SM_CXFRAME 32
#define SM_CYFRAME 33
#define SM_CXSIZEFRAME SM_CXFRAME
#define SM_CYSIZEFRAME SM_CYFRAME
#define SM_CXEDGE 45
#define SM_CYEDGE 46
#define SM_CXSMICON 49
#define SM_CYSMICON 50
#define SM_CYSMCAPTION 51
#define SM_CXMAXIMIZED 61
#define SM_CYMAXIMIZED 62
#define SM_CMONITORS 80
#define SM_CXVIRTUALSCREEN 78
#define SM_CYVIRTUALSCREEN 79
// Unknown indexes answer 0, as on Windows.
W32C_API int GetSystemMetrics(int nIndex);

#define SPI_GETWORKAREA 0x0030
#define SPI_GETNONCLIENTMETRICS 0x0029
// Only SPI_GETWORKAREA is answered; every other action fails with
// ERROR_CALL_NOT_IMPLEMENTED.
W32C_API BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni);

// ---------------------------------------------------------------------------------------
// Dialogs
#pragma pack(push, 2)
typedef struct {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  short x;
  short y;
  short cx;
  short cy;
} DLGTEMPLATE, *LPDLGTEMPLATEA;
typedef struct {
  DWORD style;
  DWORD dwExtendedStyle;
  short x;
  short y;
  short cx;
  short cy;
  WORD id;
} DLGITEMTEMPLATE, *PDLGITEMTEMPLATEA;
#pragma pack(pop)
typedef const DLGTEMPLATE* LPCDLGTEMPLATEA;
#define LPCDLGTEMPLATE LPCDLGTEMPLATEA

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9
#define IDTRYAGAIN 10
#define IDCONTINUE 11

// Templates: DLGTEMPLATE and DLGTEMPLATEEX, with the font when DS_SETFONT, items of the
// classes button (0x80), edit (0x81), static (0x82) or any registered class name.  A
// template naming a menu fails with ERROR_CALL_NOT_IMPLEMENTED; an item of an unknown
// class fails the dialog with ERROR_CANNOT_FIND_WND_CLASS unless DS_NOFAILCREATE.
// Positions: the template's rectangle is the client area, relative to the owner's
// client area (the screen without an owner, or with DS_ABSALIGN); DS_CENTER centres the
// window in the work area, kept inside it at the top left.
W32C_API HWND CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                 DLGPROC lpDialogFunc, LPARAM dwInitParam);
W32C_API HWND CreateDialogIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA lpTemplate,
                                         HWND hWndParent, DLGPROC lpDialogFunc,
                                         LPARAM dwInitParam);
#define CreateDialogA(inst, name, parent, proc) CreateDialogParamA(inst, name, parent, proc, 0)
#define CreateDialogIndirectA(inst, tpl, parent, proc) \
  CreateDialogIndirectParamA(inst, tpl, parent, proc, 0)
// Modal dialogs: the owner is disabled while the dialog runs its own message loop.
W32C_API INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                 DLGPROC lpDialogFunc, LPARAM dwInitParam);
W32C_API INT_PTR DialogBoxIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA hDialogTemplate,
                                         HWND hWndParent, DLGPROC lpDialogFunc,
                                         LPARAM dwInitParam);
W32C_API BOOL EndDialog(HWND hDlg, INT_PTR nResult);
W32C_API LRESULT DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);
W32C_API BOOL IsDialogMessageA(HWND hDlg, LPMSG lpMsg);
W32C_API BOOL MapDialogRect(HWND hDlg, LPRECT lpRect);
W32C_API LONG GetDialogBaseUnits(void);
W32C_API HWND GetDlgItem(HWND hDlg, int nIDDlgItem);
W32C_API int GetDlgCtrlID(HWND hWnd);
W32C_API BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
W32C_API UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);
W32C_API BOOL SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned);
W32C_API UINT GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned);
W32C_API LRESULT SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                     LPARAM lParam);
W32C_API BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck);
W32C_API UINT IsDlgButtonChecked(HWND hDlg, int nIDButton);
W32C_API HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious);

// ---------------------------------------------------------------------------------------
// Message boxes
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_USERICON 0x00000080L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0L
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFBUTTON4 0x00000300L
#define MB_DEFMASK 0x00000F00L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_MODEMASK 0x00003000L
#define MB_HELP 0x00004000L
#define MB_NOFOCUS 0x00008000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_DEFAULT_DESKTOP_ONLY 0x00020000L
#define MB_TOPMOST 0x00040000L
#define MB_RIGHT 0x00080000L
#define MB_RTLREADING 0x00100000L
#define MB_SERVICE_NOTIFICATION 0x00200000L

// Shows a message box and returns the button chosen (IDOK, IDCANCEL, IDYES, ...).
//   - Every box is first logged to standard error as one line
//     "MessageBox [CAPTION] TEXT", each line break of the text (CR LF, LF or CR) written
//     as the two characters \n; a null caption is "Error".
//   - The answer comes from, in this order: the responder set with
//     Win32CompatSetMessageBoxResponder (headless.h); the next item of the environment
//     variable WIN32COMPAT_MSGBOX_ANSWERS (comma-separated button names ok, cancel, yes,
//     no, abort, retry, ignore, case-insensitive, used in order; the list restarts when
//     the variable's value changes); a question on the terminal when standard input and
//     standard error both are terminals; otherwise the box's default button.
//   - An answer that is not a button of this box (an unknown name, "yes" for an OK box,
//     an empty item) answers with the default button, and a line
//     "MessageBox answer "NAME" is not a button of this box" is written to standard error.
//   - The default button is MB_DEFBUTTONn when the box has an n-th button, else the first.
//   - While the box is up its owner is disabled (MB_APPLMODAL, MB_SYSTEMMODAL), or with
//     MB_TASKMODAL and no owner every enabled top-level window of the thread.
//   - MB_CANCELTRYCONTINUE, MB_HELP, MB_USERICON, MB_DEFAULT_DESKTOP_ONLY and
//     MB_SERVICE_NOTIFICATION fail with ERROR_CALL_NOT_IMPLEMENTED; a button type above
//     6 or two modality bits with ERROR_INVALID_PARAMETER.  A failure returns 0.
W32C_API int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
W32C_API int MessageBoxExA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType,
                           WORD wLanguageId);
// Does nothing, successfully.
W32C_API BOOL MessageBeep(UINT uType);
