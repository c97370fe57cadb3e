// String functions: lstr*, CompareStringA and the wsprintfA formatter.
#include <stdarg.h>
#include <string.h>

#include <string>

#include <windows.h>

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

// Compares n1 bytes of a with n2 of b: ASCII letters ignoring case first; unless
// ignore_case, equal texts then order lower case before upper case at the first
// difference, as the Windows word sort does.
int Compare(const char* a, size_t n1, const char* b, size_t n2, bool ignore_case) {
  size_t n = n1 < n2 ? n1 : n2;
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = Fold(static_cast<unsigned char>(a[i]));
    unsigned char y = Fold(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (n1 != n2) return n1 < n2 ? -1 : 1;
  if (ignore_case) return 0;
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return (a[i] >= 'a' && a[i] <= 'z') ? -1 : 1;
  return 0;
}

// ---- wsprintfA ----
constexpr size_t kWsprintfMax = 1024;  // bytes, terminator included

struct Spec {
  bool left = false, zero = false, alt = false;
  int width = 0;
  int precision = -1;
  int size = 0;  // 0 int, 'h' short, 'l' LONG (32 bits), 'L' 64 bits (I64)
};

void Pad(std::string* out, const std::string& body, const Spec& s, const std::string& prefix) {
  size_t len = body.size() + prefix.size();
  size_t pad = s.width > 0 && static_cast<size_t>(s.width) > len ? s.width - len : 0;
  if (s.left) {
    *out += prefix + body + std::string(pad, ' ');
  } else if (s.zero) {
    *out += prefix + std::string(pad, '0') + body;
  } else {
    *out += std::string(pad, ' ') + prefix + body;
  }
}

std::string Digits(unsigned long long v, unsigned base, bool upper) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string s;
  do {
    s.insert(s.begin(), set[v % base]);
    v /= base;
  } while (v);
  return s;
}

std::string Narrow(const WCHAR* w, int limit) {
  std::string out;
  if (!w) return "(null)";
  size_t n = 0;
  while (w[n] && (limit < 0 || n < static_cast<size_t>(limit))) ++n;
  if (n == 0) return out;
  int bytes = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return out;
  out.resize(static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(n), out.data(), bytes, nullptr, nullptr);
  return out;
}

std::string Format(const char* fmt, va_list args) {
  std::string out;
  for (const char* p = fmt; *p && out.size() < kWsprintfMax;) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    ++p;
    Spec s;
    for (;; ++p) {
      if (*p == '-') s.left = true;
      else if (*p == '0') s.zero = true;
      else if (*p == '#') s.alt = true;
      else break;
    }
    while (*p >= '0' && *p <= '9' && s.width < 10000) s.width = s.width * 10 + (*p++ - '0');
    if (*p == '.') {
      ++p;
      s.precision = 0;
      while (*p >= '0' && *p <= '9' && s.precision < 10000) s.precision = s.precision * 10 + (*p++ - '0');
    }
    if (*p == 'h' || *p == 'l') {
      s.size = *p++;
    } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
      s.size = 'L';
      p += 3;
    }
    char conv = *p;
    if (!conv) break;
    ++p;
    switch (conv) {
      case 'd':
      case 'i': {
        long long v = s.size == 'L' ? va_arg(args, long long) : va_arg(args, int);
        if (s.size == 'h') v = static_cast<short>(v);
        unsigned long long mag = v < 0 ? 0ull - static_cast<unsigned long long>(v)
                                       : static_cast<unsigned long long>(v);
        std::string body = Digits(mag, 10, false);
        if (s.precision >= 0 && body.size() < static_cast<size_t>(s.precision))
          body.insert(0, static_cast<size_t>(s.precision) - body.size(), '0');
        Pad(&out, body, s, v < 0 ? "-" : "");
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        unsigned long long v = s.size == 'L' ? va_arg(args, unsigned long long)
                                             : va_arg(args, unsigned int);
        if (s.size == 'h') v = static_cast<unsigned short>(v);
        std::string body = Digits(v, conv == 'u' ? 10 : 16, conv == 'X');
        if (s.precision >= 0 && body.size() < static_cast<size_t>(s.precision))
          body.insert(0, static_cast<size_t>(s.precision) - body.size(), '0');
        std::string prefix = (s.alt && conv != 'u' && v) ? (conv == 'X' ? "0X" : "0x") : "";
        Pad(&out, body, s, prefix);
        break;
      }
      case 'c': {
        char c = static_cast<char>(va_arg(args, int));
        Pad(&out, std::string(1, c), s, "");
        break;
      }
      case 'C': {
        WCHAR w[2] = {static_cast<WCHAR>(va_arg(args, int)), 0};
        Pad(&out, Narrow(w, 1), s, "");
        break;
      }
      case 's': {
        const char* str = va_arg(args, const char*);
        std::string body = str ? str : "(null)";
        if (s.size == 'l') body = Narrow(reinterpret_cast<const WCHAR*>(str), s.precision);
        else if (s.precision >= 0 && body.size() > static_cast<size_t>(s.precision))
          body.resize(static_cast<size_t>(s.precision));
        Pad(&out, body, s, "");
        break;
      }
      case 'S': {
        const WCHAR* w = va_arg(args, const WCHAR*);
        Pad(&out, Narrow(w, s.precision), s, "");
        break;
      }
      default:  // "%%" and unknown conversions: the character itself
        out += conv;
        break;
    }
  }
  if (out.size() > kWsprintfMax - 1) out.resize(kWsprintfMax - 1);
  return out;
}

}  // namespace

int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
  const char* a = lpString1 ? lpString1 : "";
  const char* b = lpString2 ? lpString2 : "";
  return Compare(a, strlen(a), b, strlen(b), false);
}

int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
  const char* a = lpString1 ? lpString1 : "";
  const char* b = lpString2 ? lpString2 : "";
  return Compare(a, strlen(a), b, strlen(b), true);
}

int lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(strlen(lpString)) : 0; }

LPSTR lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  memmove(lpString1, lpString2, strlen(lpString2) + 1);
  return lpString1;
}

LPSTR lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  if (!lpString1 || !lpString2) return nullptr;
  if (iMaxLength <= 0) return lpString1;
  size_t n = strnlen(lpString2, static_cast<size_t>(iMaxLength - 1));
  memmove(lpString1, lpString2, n);
  lpString1[n] = 0;
  return lpString1;
}

LPSTR lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  size_t n = strlen(lpString1);
  memmove(lpString1 + n, lpString2, strlen(lpString2) + 1);
  return lpString1;
}

int CompareStringA(LCID, DWORD dwCmpFlags, LPCSTR lpString1, int cchCount1, LPCSTR lpString2,
                   int cchCount2) {
  if (dwCmpFlags & ~(NORM_IGNORECASE | SORT_STRINGSORT)) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  if (!lpString1 || !lpString2 || cchCount1 < -1 || cchCount2 < -1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // A negative count means the text ends at its terminator; a count stops at one too.
  size_t n1 = cchCount1 < 0 ? strlen(lpString1) : strnlen(lpString1, static_cast<size_t>(cchCount1));
  size_t n2 = cchCount2 < 0 ? strlen(lpString2) : strnlen(lpString2, static_cast<size_t>(cchCount2));
  int c = Compare(lpString1, n1, lpString2, n2, dwCmpFlags & NORM_IGNORECASE);
  return c < 0 ? CSTR_LESS_THAN : c > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

int wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist) {
  if (!lpOut || !lpFmt) return -1;
  va_list copy;
  va_copy(copy, arglist);
  std::string text = Format(lpFmt, copy);
  va_end(copy);
  memcpy(lpOut, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  int n = wvsprintfA(lpOut, lpFmt, args);
  va_end(args);
  return n;
}
