// The message queue of each thread: sent and posted messages, WM_PAINT and WM_TIMER
// generation, the quit flag.
//
// Retrieval order, as in Windows: messages sent from other threads are delivered first
// (always, whatever the filter); then the oldest matching posted message; then WM_QUIT
// when PostQuitMessage was called; then WM_PAINT for the first invalid visible window of
// the thread (in creation order, so parents before their children); then WM_TIMER for a
// timer that is due.
#include "user_internal.h"

#include <ctime>

using namespace w32c::user;
using Clock = std::chrono::steady_clock;

namespace {

DWORD TickNow() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<DWORD>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

bool InRange(UINT msg, UINT low, UINT high) {
  if (low == 0 && high == 0) return true;
  return msg >= low && msg <= high;
}

// A window filter: nullptr any window of the thread and thread messages; -1 thread
// messages only; a window: that window and its descendants.
bool WindowMatchesLocked(HWND msg_hwnd, HWND filter) {
  if (!filter) return true;
  if (filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) return msg_hwnd == nullptr;
  return msg_hwnd == filter || IsDescendantLocked(filter, msg_hwnd);
}

// Delivers the messages other threads sent to this one; the lock is released around each.
void DeliverSent(Guard& g, Queue& q) {
  while (!q.sent.empty()) {
    auto m = q.sent.front();
    q.sent.pop_front();
    ++q.in_send;
    g.unlock();
    LRESULT r = SendMessageA(m->hwnd, m->msg, m->wparam, m->lparam);
    g.lock();
    --q.in_send;
    m->result = r;
    m->done = true;
    m->sender->wake.notify_all();
  }
}

// One attempt to take a message; the lock is held on entry and exit.
bool TakeLocked(Guard& g, Queue& q, MSG* out, HWND filter, UINT low, UINT high, bool remove,
                Clock::time_point* next_timer) {
  DeliverSent(g, q);
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!InRange(it->message, low, high) || !WindowMatchesLocked(it->hwnd, filter)) continue;
    *out = *it;
    if (remove) q.posted.erase(it);
    q.message_time = out->time;
    return true;
  }
  if (q.quit && InRange(WM_QUIT, low, high)) {
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quit_code), 0, TickNow(), {0, 0}};
    if (remove) q.quit = false;
    return true;
  }
  if (InRange(WM_PAINT, low, high)) {
    for (auto& [key, w] : AllWindowsLocked()) {
      if (w->queue.get() != &q || !w->update || !IsVisibleLocked(*w)) continue;
      if (!WindowMatchesLocked(w->handle, filter)) continue;
      *out = MSG{w->handle, WM_PAINT, 0, 0, TickNow(), {0, 0}};
      return true;
    }
  }
  auto now = Clock::now();
  *next_timer = Clock::time_point::max();
  for (auto& t : q.timers) {
    if (t.due <= now && InRange(WM_TIMER, low, high) && WindowMatchesLocked(t.hwnd, filter)) {
      *out = MSG{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), TickNow(), {0, 0}};
      if (remove) t.due = now + std::chrono::milliseconds(t.elapse);
      return true;
    }
    if (t.due < *next_timer) *next_timer = t.due;
  }
  return false;
}

}  // namespace

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (!proc) return 0;
  return proc(hwnd, msg, wparam, lparam);
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto self = CurrentQueue();
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return 0;
  if (w->is_desktop || w->queue == self) {
    WNDPROC proc = w->proc;
    g.unlock();
    return CallWindowProcA(proc, hwnd, msg, wparam, lparam);
  }
  auto target = w->queue;
  if (!target || !target->alive) return 0;
  auto m = std::make_shared<SentMessage>();
  *m = SentMessage{hwnd, msg, wparam, lparam, 0, false, self};
  target->sent.push_back(m);
  target->wake.notify_all();
  // While waiting, this thread answers what is sent to it, so two threads sending to
  // each other do not lock up.
  while (!m->done) {
    DeliverSent(g, *self);
    if (m->done) break;
    self->wake.wait(g);
  }
  return m->result;
}

BOOL InSendMessage(void) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  return q->in_send > 0;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (!hwnd) return PostThreadMessageA(GetCurrentThreadId(), msg, wparam, lparam);
  Guard g(UserMutex());
  auto w = FindLockedOrFail(hwnd);
  if (!w) return FALSE;
  if (!w->queue || !w->queue->alive) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->queue->posted.push_back(MSG{hwnd, msg, wparam, lparam, TickNow(), {0, 0}});
  w->queue->wake.notify_all();
  return TRUE;
}

BOOL PostThreadMessageA(DWORD thread, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (thread == GetCurrentThreadId()) CurrentQueue();
  Guard g(UserMutex());
  auto q = QueueOfThreadLocked(thread);
  if (!q || !q->alive) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  q->posted.push_back(MSG{nullptr, msg, wparam, lparam, TickNow(), {0, 0}});
  q->wake.notify_all();
  return TRUE;
}

void PostQuitMessage(int code) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  q->quit = true;
  q->quit_code = code;
  q->wake.notify_all();
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT low, UINT high, UINT remove) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (remove & ~static_cast<UINT>(PM_REMOVE | PM_NOYIELD)) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  auto q = CurrentQueue();
  Guard g(UserMutex());
  Clock::time_point next;
  return TakeLocked(g, *q, msg, hwnd, low, high, (remove & PM_REMOVE) != 0, &next);
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT low, UINT high) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  auto q = CurrentQueue();
  Guard g(UserMutex());
  for (;;) {
    Clock::time_point next;
    if (TakeLocked(g, *q, msg, hwnd, low, high, true, &next))
      return msg->message == WM_QUIT ? FALSE : TRUE;
    if (next == Clock::time_point::max())
      q->wake.wait(g);
    else
      q->wake.wait_until(g, next);
  }
}

BOOL WaitMessage(void) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  MSG m;
  Clock::time_point next;
  if (TakeLocked(g, *q, &m, nullptr, 0, 0, false, &next)) return TRUE;
  if (next == Clock::time_point::max())
    q->wake.wait(g);
  else
    q->wake.wait_until(g, next);
  return TRUE;
}

DWORD GetMessageTime(void) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  return q->message_time;
}

// Key messages need no character translation here: no keyboard exists.
BOOL TranslateMessage(const MSG* msg) { return msg && msg->message == WM_KEYDOWN; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    // Only a procedure that belongs to one of this thread's timers is called: lParam of
    // a posted WM_TIMER is not trusted as a code address.
    bool known = false;
    {
      auto q = CurrentQueue();
      Guard g(UserMutex());
      for (auto& t : q->timers)
        if (t.proc == proc && t.id == msg->wParam && t.hwnd == msg->hwnd) known = true;
    }
    if (!known) return 0;
    proc(msg->hwnd, WM_TIMER, msg->wParam, TickNow());
    return 0;
  }
  if (!msg->hwnd) return 0;
  WNDPROC proc;
  {
    Guard g(UserMutex());
    auto w = FindLockedOrFail(msg->hwnd);
    if (!w) return 0;
    if (w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
      return 0;
    }
    proc = w->proc;
  }
  LRESULT r = CallWindowProcA(proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
  if (msg->message == WM_PAINT) {
    // A window procedure that ignores WM_PAINT would otherwise get it forever.
    Guard g(UserMutex());
    if (auto w = FindLocked(msg->hwnd)) w->update = false, w->erase = false;
  }
  return r;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  if (hwnd) {
    auto w = FindLockedOrFail(hwnd);
    if (!w) return 0;
    if (w->queue != q) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
  }
  if (elapse < 10) elapse = 10;
  if (elapse > 0x7FFFFFFF) elapse = 0x7FFFFFFF;
  if (!hwnd) id = q->next_timer_id++;
  auto due = Clock::now() + std::chrono::milliseconds(elapse);
  for (auto& t : q->timers) {
    if (t.hwnd == hwnd && t.id == id) {
      t.elapse = elapse;
      t.proc = proc;
      t.due = due;
      return hwnd ? (id ? id : 1) : id;
    }
  }
  q->timers.push_back(Timer{hwnd, id, elapse, proc, due});
  q->wake.notify_all();
  return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto q = CurrentQueue();
  Guard g(UserMutex());
  size_t before = q->timers.size();
  std::erase_if(q->timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  std::erase_if(q->posted, [&](const MSG& m) {
    return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id;
  });
  if (q->timers.size() == before) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
