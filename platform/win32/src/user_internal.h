// State shared by the window system's sources: windows, classes, queues, GDI objects.
//
// One mutex guards all of it.  It is never held while a window procedure, dialog
// procedure, timer procedure or responder runs, so that they may call back in freely;
// functions named ...Locked expect the caller to hold it.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <win32compat/headless.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace w32c::user {

using Guard = std::unique_lock<std::mutex>;
std::mutex& UserMutex();

struct Queue;

struct WindowClass {
  std::string name;  // as registered; looked up without regard to letter case
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int cls_extra = 0;
  int wnd_extra = 0;
  HINSTANCE instance = nullptr;
  HBRUSH background = nullptr;
  HCURSOR cursor = nullptr;
  HICON icon = nullptr;
  bool system = false;
};

// What the predefined controls keep beside the generic window fields.
struct ProgressState {
  int low = 0;
  int high = 100;
  int pos = 0;
  int step = 10;
  COLORREF bar = CLR_DEFAULT;
  COLORREF background = CLR_DEFAULT;
};

struct DialogState {
  bool ended = false;
  INT_PTR result = 0;
  int default_id = IDOK;
  HFONT font = nullptr;
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<WindowClass> cls;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exstyle = 0;
  std::string text;
  LONG_PTR id = 0;
  HINSTANCE instance = nullptr;
  LONG_PTR user_data = 0;
  std::vector<uint8_t> extra;
  HWND parent = nullptr;  // the desktop for a top-level window
  HWND owner = nullptr;
  std::vector<HWND> children;  // top of the z-order first
  RECT rect{};    // window rectangle in the parent's client coordinates
  RECT frame{};   // the non-client insets on each side
  std::shared_ptr<Queue> queue;
  DWORD thread = 0;
  bool update = false;  // an update region is pending
  RECT update_rect{};   // its bounding rectangle, client coordinates
  bool erase = false;
  bool destroying = false;
  bool is_desktop = false;
  HFONT font = nullptr;
  // predefined controls
  ProgressState progress;
  UINT check = 0;
  bool pressed = false;
  UINT text_limit = 30000;
  std::unique_ptr<DialogState> dialog;
  std::vector<W32CPaintOp> paint;
};

struct SentMessage {
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  LRESULT result = 0;
  bool done = false;
  std::shared_ptr<Queue> sender;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  std::chrono::steady_clock::time_point due;
};

struct Queue {
  DWORD thread = 0;
  std::condition_variable wake;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;  // from other threads, to be delivered
  bool quit = false;
  int quit_code = 0;
  std::vector<Timer> timers;
  UINT_PTR next_timer_id = 1;
  HWND focus = nullptr;
  HWND active = nullptr;
  HWND capture = nullptr;
  DWORD message_time = 0;
  int in_send = 0;  // depth of messages from other threads being handled
  bool alive = true;
};

// Windows --------------------------------------------------------------------------------
std::shared_ptr<Window> FindLocked(HWND hwnd);      // nullptr for an invalid handle
std::shared_ptr<Window> FindLockedOrFail(HWND hwnd); // sets ERROR_INVALID_WINDOW_HANDLE
HWND DesktopLocked();
HWND NewWindowHandleLocked(std::shared_ptr<Window> w);
void RemoveWindowLocked(HWND hwnd);
std::vector<std::shared_ptr<WindowClass>>& ClassesLocked();
ATOM NewAtomLocked();
const std::map<uintptr_t, std::shared_ptr<Window>>& AllWindowsLocked();
std::shared_ptr<WindowClass> FindClassLocked(LPCSTR name);
std::shared_ptr<Queue> CurrentQueue();
std::shared_ptr<Queue> QueueOfThreadLocked(DWORD thread);
// Screen position of the window's client origin.
POINT ClientOriginLocked(const Window& w);
RECT ScreenRectLocked(const Window& w);
LONG ClientWidth(const Window& w);
LONG ClientHeight(const Window& w);
bool IsVisibleLocked(const Window& w);  // with every ancestor
bool IsDescendantLocked(HWND ancestor, HWND hwnd);
// The non-client insets a window of these styles has.
RECT FrameInsets(DWORD style, DWORD exstyle);
void InvalidateLocked(Window& w, const RECT* rect, bool erase);
void RecordPaintLocked(HWND hwnd, const W32CPaintOp& op);
// Wakes the queue of the window's thread (a new update region or message).
void WakeLocked(Window& w);
RECT WorkAreaLocked();
SIZE ScreenSizeLocked();

// Predefined classes: their window procedures.
LRESULT ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT ProgressProc(HWND, UINT, WPARAM, LPARAM);
LRESULT DialogClassProc(HWND, UINT, WPARAM, LPARAM);

// Text measured in the fixed character cell.
int TextWidth(const char* text, size_t length, bool strip_prefix);

// GDI -------------------------------------------------------------------------------------
// The colour a brush paints with (a system colour index + 1 is accepted); false for an
// invalid brush.
bool BrushColorLocked(HBRUSH brush, COLORREF* color);

// Dialogs ---------------------------------------------------------------------------------
HWND CreateDialogFromTemplate(HINSTANCE instance, const uint8_t* data, size_t size,
                              HWND parent, DLGPROC proc, LPARAM param);
// Runs a modal loop for a dialog just created hidden; returns its EndDialog result.
INT_PTR RunModal(HWND dialog, HWND owner);

}  // namespace w32c::user
