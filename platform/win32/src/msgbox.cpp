// MessageBoxA without a screen: logged, then answered by the responder, the answer list
// in WIN32COMPAT_MSGBOX_ANSWERS, the terminal or the default button.
#include "user_internal.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace w32c::user;

namespace {

struct Button {
  const char* name;
  int id;
};

struct Responder {
  std::mutex lock;
  W32CMessageBoxResponder callback = nullptr;
  void* context = nullptr;
  std::string list;   // the value of the variable the position belongs to
  size_t next = 0;    // index of the next item to use
};

Responder& TheResponder() {
  static Responder* r = new Responder;
  return *r;
}

const Button kOk{"ok", IDOK}, kCancel{"cancel", IDCANCEL}, kYes{"yes", IDYES},
    kNo{"no", IDNO}, kAbort{"abort", IDABORT}, kRetry{"retry", IDRETRY},
    kIgnore{"ignore", IDIGNORE};

std::vector<Button> ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK: return {kOk};
    case MB_OKCANCEL: return {kOk, kCancel};
    case MB_ABORTRETRYIGNORE: return {kAbort, kRetry, kIgnore};
    case MB_YESNOCANCEL: return {kYes, kNo, kCancel};
    case MB_YESNO: return {kYes, kNo};
    case MB_RETRYCANCEL: return {kRetry, kCancel};
    default: return {};
  }
}

std::string LogText(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (*p == '\r') {
      out += "\\n";
      if (p[1] == '\n') ++p;
    } else if (*p == '\n') {
      out += "\\n";
    } else {
      out += *p;
    }
  }
  return out;
}

// The next item of the answer list, or false when the list is unset or used up.
bool NextListedAnswer(std::string* answer) {
  const char* env = getenv("WIN32COMPAT_MSGBOX_ANSWERS");
  Responder& r = TheResponder();
  std::lock_guard<std::mutex> g(r.lock);
  if (!env) {
    r.list.clear();
    r.next = 0;
    return false;
  }
  if (r.list != env) {
    r.list = env;
    r.next = 0;
  }
  size_t index = 0, start = 0;
  for (;;) {
    size_t end = r.list.find(',', start);
    if (end == std::string::npos) end = r.list.size();
    if (index == r.next) {
      if (start > r.list.size() || (r.list.empty() && index == 0)) return false;
      *answer = r.list.substr(start, end - start);
      ++r.next;
      // Surrounding blanks are not part of the name.
      size_t b = answer->find_first_not_of(" \t");
      size_t e = answer->find_last_not_of(" \t");
      *answer = b == std::string::npos ? std::string() : answer->substr(b, e - b + 1);
      return true;
    }
    if (end >= r.list.size()) return false;
    start = end + 1;
    ++index;
  }
}

int IdOfName(const std::vector<Button>& buttons, const std::string& name) {
  for (const Button& b : buttons)
    if (strcasecmp(b.name, name.c_str()) == 0) return b.id;
  return 0;
}

bool HasId(const std::vector<Button>& buttons, int id) {
  for (const Button& b : buttons)
    if (b.id == id) return true;
  return false;
}

int AskTerminal(const std::vector<Button>& buttons, int default_id, const char* caption,
                const char* text) {
  std::string prompt;
  const char* default_name = "";
  for (const Button& b : buttons) {
    if (!prompt.empty()) prompt += "/";
    prompt += b.name;
    if (b.id == default_id) default_name = b.name;
  }
  for (;;) {
    fprintf(stderr, "\n[%s]\n%s\n%s (Enter: %s)? ", caption, text, prompt.c_str(), default_name);
    fflush(stderr);
    char line[128];
    if (!fgets(line, sizeof line, stdin)) return default_id;
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    if (s.empty()) return default_id;
    if (int id = IdOfName(buttons, s)) return id;
    // A unique first letter is enough ("y", "n", "c").
    int match = 0, matches = 0;
    for (const Button& b : buttons)
      if (tolower(static_cast<unsigned char>(s[0])) == b.name[0] && s.size() == 1) {
        match = b.id;
        ++matches;
      }
    if (matches == 1) return match;
  }
}

// Disables what a modal box disables while it is up; returns what to enable again.
std::vector<HWND> DisableForBox(HWND owner, UINT type) {
  std::vector<HWND> disabled;
  if (owner) {
    if (IsWindow(owner) && IsWindowEnabled(owner)) {
      EnableWindow(owner, FALSE);
      disabled.push_back(owner);
    }
    return disabled;
  }
  if ((type & MB_MODEMASK) != MB_TASKMODAL) return disabled;
  std::vector<HWND> tops;
  {
    Guard g(UserMutex());
    DWORD self = GetCurrentThreadId();
    for (auto& [key, w] : AllWindowsLocked())
      if (!w->is_desktop && !(w->style & WS_CHILD) && w->thread == self &&
          !(w->style & WS_DISABLED))
        tops.push_back(w->handle);
  }
  for (HWND h : tops) {
    EnableWindow(h, FALSE);
    disabled.push_back(h);
  }
  return disabled;
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  constexpr UINT kUnsupported = MB_HELP | MB_USERICON | MB_DEFAULT_DESKTOP_ONLY |
                                MB_SERVICE_NOTIFICATION;
  UINT kind = type & MB_TYPEMASK;
  if ((type & kUnsupported) || kind == MB_CANCELTRYCONTINUE) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  if (kind > MB_CANCELTRYCONTINUE || (type & MB_MODEMASK) == MB_MODEMASK) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (owner && !IsWindow(owner)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (!text) text = "";
  if (!caption) caption = "Error";
  std::vector<Button> buttons = ButtonsOf(type);
  size_t def_index = (type & MB_DEFMASK) >> 8;
  int default_id = (def_index < buttons.size() ? buttons[def_index] : buttons[0]).id;

  fprintf(stderr, "MessageBox [%s] %s\n", caption, LogText(text).c_str());
  fflush(stderr);

  std::vector<HWND> disabled = DisableForBox(owner, type);
  int answer = 0;
  std::string rejected;
  bool decided = false;
  W32CMessageBoxResponder callback;
  void* context;
  {
    Responder& r = TheResponder();
    std::lock_guard<std::mutex> g(r.lock);
    callback = r.callback;
    context = r.context;
  }
  if (callback) {
    int id = callback(context, owner, text, caption, type);
    if (id) {
      decided = true;
      if (HasId(buttons, id)) answer = id;
      else rejected = std::to_string(id);
    }
  }
  std::string listed;
  if (!decided && NextListedAnswer(&listed)) {
    decided = true;
    answer = IdOfName(buttons, listed);
    if (!answer) rejected = listed;
  }
  if (!decided && isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) {
    answer = AskTerminal(buttons, default_id, caption, text);
    decided = true;
  }
  if (!answer) {
    if (decided) {
      fprintf(stderr, "MessageBox answer \"%s\" is not a button of this box\n", rejected.c_str());
      fflush(stderr);
    }
    answer = default_id;
  }
  for (HWND h : disabled) EnableWindow(h, TRUE);
  if ((type & MB_SETFOREGROUND) && owner && IsWindow(owner)) SetForegroundWindow(owner);
  return answer;
}

int MessageBoxExA(HWND owner, LPCSTR text, LPCSTR caption, UINT type, WORD) {
  return MessageBoxA(owner, text, caption, type);
}

BOOL MessageBeep(UINT) { return TRUE; }

void Win32CompatSetMessageBoxResponder(W32CMessageBoxResponder responder, void* context) {
  Responder& r = TheResponder();
  std::lock_guard<std::mutex> g(r.lock);
  r.callback = responder;
  r.context = context;
}

void Win32CompatResetMessageBoxAnswers(void) {
  Responder& r = TheResponder();
  std::lock_guard<std::mutex> g(r.lock);
  r.next = 0;
}
