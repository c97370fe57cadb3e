// The window system's shared state: the lock, the window table, the classes, the thread
// queues, the screen and the fixed metrics.
#include "user_internal.h"

#include <strings.h>

namespace w32c::user {
namespace {

struct State {
  std::mutex lock;
  std::map<uintptr_t, std::shared_ptr<Window>> windows;  // by handle: creation order
  std::vector<std::shared_ptr<WindowClass>> classes;
  std::map<DWORD, std::weak_ptr<Queue>> queues;
  uintptr_t next_window = 0;
  ATOM next_atom = 0xC000;
  HWND desktop = nullptr;
  SIZE screen{1024, 768};
  bool work_area_set = false;
  RECT work_area{0, 0, 1024, 768};
};

State& TheState();

void AddSystemClass(State& s, const char* name, WNDPROC proc, int extra, HBRUSH background,
                    ATOM atom) {
  auto c = std::make_shared<WindowClass>();
  c->name = name;
  c->atom = atom ? atom : s.next_atom++;
  c->style = CS_GLOBALCLASS | CS_DBLCLKS;
  c->proc = proc;
  c->wnd_extra = extra;
  c->background = background;
  c->system = true;
  s.classes.push_back(std::move(c));
}

State& TheState() {
  // Never destroyed: windows and queues may be touched while the process ends.
  static State* state = [] {
    auto* s = new State;
    AddSystemClass(*s, "BUTTON", ButtonProc, 0, nullptr, 0);
    AddSystemClass(*s, "STATIC", StaticProc, 0, nullptr, 0);
    AddSystemClass(*s, "EDIT", EditProc, 0, nullptr, 0);
    AddSystemClass(*s, PROGRESS_CLASSA, ProgressProc, 0, nullptr, 0);
    AddSystemClass(*s, "#32770", DialogClassProc, DLGWINDOWEXTRA,
                   reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_3DFACE + 1)),
                   static_cast<ATOM>(reinterpret_cast<uintptr_t>(WC_DIALOG)));
    auto d = std::make_shared<Window>();
    d->handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010));
    d->is_desktop = true;
    d->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    d->rect = RECT{0, 0, s->screen.cx, s->screen.cy};
    d->proc = DefWindowProcA;
    for (auto& c : s->classes)
      if (c->name == "#32770") d->cls = c;
    s->desktop = d->handle;
    s->windows.emplace(reinterpret_cast<uintptr_t>(d->handle), d);
    s->next_window = 1;
    return s;
  }();
  return *state;
}

// Ends a thread's queue: messages still waiting for it are answered with 0, and the
// windows it created go away without messages, as they do when a Windows thread ends.
struct QueueHolder {
  std::shared_ptr<Queue> queue;
  ~QueueHolder() {
    if (!queue) return;
    State& s = TheState();
    Guard g(s.lock);
    queue->alive = false;
    for (auto& m : queue->sent) {
      m->done = true;
      m->sender->wake.notify_all();
    }
    queue->sent.clear();
    for (auto it = s.windows.begin(); it != s.windows.end();) {
      if (it->second->queue == queue) {
        Window& w = *it->second;
        if (auto p = s.windows.find(reinterpret_cast<uintptr_t>(w.parent));
            p != s.windows.end()) {
          auto& kids = p->second->children;
          std::erase(kids, w.handle);
        }
        it = s.windows.erase(it);
      } else {
        ++it;
      }
    }
    s.queues.erase(queue->thread);
  }
};

}  // namespace

std::mutex& UserMutex() { return TheState().lock; }

std::shared_ptr<Window> FindLocked(HWND hwnd) {
  State& s = TheState();
  auto it = s.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == s.windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> FindLockedOrFail(HWND hwnd) {
  auto w = FindLocked(hwnd);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

HWND DesktopLocked() { return TheState().desktop; }

const std::map<uintptr_t, std::shared_ptr<Window>>& AllWindowsLocked() {
  return TheState().windows;
}

HWND NewWindowHandleLocked(std::shared_ptr<Window> w) {
  State& s = TheState();
  // Values are 0x10010 + 4n and never reused, so a stale handle stays invalid.
  uintptr_t key = 0x10010 + 4 * s.next_window++;
  w->handle = reinterpret_cast<HWND>(key);
  s.windows.emplace(key, std::move(w));
  return reinterpret_cast<HWND>(key);
}

void RemoveWindowLocked(HWND hwnd) { TheState().windows.erase(reinterpret_cast<uintptr_t>(hwnd)); }

std::shared_ptr<WindowClass> FindClassLocked(LPCSTR name) {
  State& s = TheState();
  for (auto& c : s.classes) {
    if (IS_INTRESOURCE(name)) {
      if (c->atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name))) return c;
    } else if (strcasecmp(c->name.c_str(), name) == 0) {
      return c;
    }
  }
  return nullptr;
}

std::vector<std::shared_ptr<WindowClass>>& ClassesLocked() { return TheState().classes; }
ATOM NewAtomLocked() { return TheState().next_atom++; }

std::shared_ptr<Queue> CurrentQueue() {
  thread_local QueueHolder holder;
  if (!holder.queue) {
    auto q = std::make_shared<Queue>();
    q->thread = GetCurrentThreadId();
    State& s = TheState();
    Guard g(s.lock);
    s.queues[q->thread] = q;
    holder.queue = q;
  }
  return holder.queue;
}

std::shared_ptr<Queue> QueueOfThreadLocked(DWORD thread) {
  State& s = TheState();
  auto it = s.queues.find(thread);
  return it == s.queues.end() ? nullptr : it->second.lock();
}

SIZE ScreenSizeLocked() { return TheState().screen; }

RECT WorkAreaLocked() {
  State& s = TheState();
  if (s.work_area_set) return s.work_area;
  return RECT{0, 0, s.screen.cx, s.screen.cy};
}

RECT FrameInsets(DWORD style, DWORD exstyle) {
  LONG f = 0;
  if (style & WS_THICKFRAME)
    f = 4;
  else if ((style & WS_DLGFRAME) || (exstyle & WS_EX_DLGMODALFRAME))
    f = 3;
  else if (style & WS_BORDER)
    f = 1;
  if (exstyle & WS_EX_CLIENTEDGE) f += 2;
  if (exstyle & WS_EX_STATICEDGE) f += 1;
  RECT r{f, f, f, f};
  if ((style & WS_CAPTION) == WS_CAPTION) r.top += (exstyle & WS_EX_TOOLWINDOW) ? 16 : 19;
  if (style & WS_VSCROLL) r.right += 16;
  if (style & WS_HSCROLL) r.bottom += 16;
  return r;
}

LONG ClientWidth(const Window& w) {
  LONG v = (w.rect.right - w.rect.left) - w.frame.left - w.frame.right;
  return v < 0 ? 0 : v;
}
LONG ClientHeight(const Window& w) {
  LONG v = (w.rect.bottom - w.rect.top) - w.frame.top - w.frame.bottom;
  return v < 0 ? 0 : v;
}

RECT ScreenRectLocked(const Window& w) {
  RECT r = w.rect;
  if (!w.is_desktop && (w.style & WS_CHILD)) {
    if (auto p = FindLocked(w.parent)) {
      POINT o = ClientOriginLocked(*p);
      r.left += o.x;
      r.right += o.x;
      r.top += o.y;
      r.bottom += o.y;
    }
  }
  return r;
}

POINT ClientOriginLocked(const Window& w) {
  RECT r = ScreenRectLocked(w);
  return POINT{r.left + w.frame.left, r.top + w.frame.top};
}

bool IsVisibleLocked(const Window& w) {
  const Window* cur = &w;
  for (int depth = 0; cur && depth < 1000; ++depth) {
    if (!(cur->style & WS_VISIBLE)) return false;
    if (cur->is_desktop || !(cur->style & WS_CHILD)) return true;
    auto p = FindLocked(cur->parent);
    cur = p.get();
  }
  return false;
}

bool IsDescendantLocked(HWND ancestor, HWND hwnd) {
  auto w = FindLocked(hwnd);
  for (int depth = 0; w && depth < 1000; ++depth) {
    if (!(w->style & WS_CHILD) || w->is_desktop) return false;
    if (w->parent == ancestor) return true;
    w = FindLocked(w->parent);
  }
  return false;
}

void WakeLocked(Window& w) {
  if (w.queue) w.queue->wake.notify_all();
}

void InvalidateLocked(Window& w, const RECT* rect, bool erase) {
  RECT client{0, 0, ClientWidth(w), ClientHeight(w)};
  RECT r = client;
  if (rect) IntersectRect(&r, rect, &client);
  if (IsRectEmpty(&r)) return;
  if (w.update)
    UnionRect(&w.update_rect, &w.update_rect, &r);
  else
    w.update_rect = r;
  w.update = true;
  w.erase = w.erase || erase;
  WakeLocked(w);
}

void RecordPaintLocked(HWND hwnd, const W32CPaintOp& op) {
  if (auto w = FindLocked(hwnd)) w->paint.push_back(op);
}

}  // namespace w32c::user

using namespace w32c::user;
using w32c::user::State;

BOOL Win32CompatSetScreenSize(int width, int height) {
  if (width < 1 || height < 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  State& s = TheState();
  Guard g(s.lock);
  s.screen = SIZE{width, height};
  FindLocked(s.desktop)->rect = RECT{0, 0, width, height};
  return TRUE;
}

BOOL Win32CompatSetWorkArea(const RECT* area) {
  State& s = TheState();
  Guard g(s.lock);
  if (!area) {
    s.work_area_set = false;
    return TRUE;
  }
  if (area->right <= area->left || area->bottom <= area->top) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  s.work_area = *area;
  s.work_area_set = true;
  return TRUE;
}
