// Code pages: the ANSI and OEM code pages are UTF-8, so conversions are UTF-8 <-> UTF-16
// and ANSI <-> OEM is the identity (byte lengths stay as they are).
#include <string.h>

#include <string>

#include <windows.h>

namespace {

bool IsUtf8Page(UINT cp) {
  return cp == CP_ACP || cp == CP_OEMCP || cp == CP_THREAD_ACP || cp == CP_UTF8;
}

// Decodes one UTF-8 sequence at s[i..n); returns its length, or 0 when malformed (overlong
// forms, surrogates and values above U+10FFFF are malformed).
size_t DecodeUtf8(const unsigned char* s, size_t i, size_t n, char32_t* out) {
  unsigned char c = s[i];
  if (c < 0x80) {
    *out = c;
    return 1;
  }
  size_t len;
  char32_t cp, min;
  if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > n) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i + k] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *out = cp;
  return len;
}

void EncodeUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

size_t WideLength(LPCWSTR s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

UINT GetACP(void) { return CP_UTF8; }
UINT GetOEMCP(void) { return CP_UTF8; }

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (!IsUtf8Page(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD allowed = CodePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : MB_ERR_INVALID_CHARS | MB_PRECOMPOSED;
  if (dwFlags & ~allowed) {
    SetLastError(CodePage == CP_UTF8 ? ERROR_INVALID_FLAGS : ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  size_t n = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  auto s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  std::u16string out;
  out.reserve(n);
  for (size_t i = 0; i < n;) {
    char32_t cp;
    size_t len = DecodeUtf8(s, i, n, &cp);
    if (len == 0) {
      if (dwFlags & MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      cp = 0xFFFD;
      len = 1;
    }
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  if (out.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_ARITHMETIC_OVERFLOW);
    return 0;
  }
  if (cchWideChar == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(cchWideChar)) {
    memcpy(lpWideCharStr, out.data(), static_cast<size_t>(cchWideChar) * sizeof(WCHAR));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpWideCharStr, out.data(), out.size() * sizeof(WCHAR));
  return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
  if (!IsUtf8Page(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr) ||
      (CodePage == CP_UTF8 && (lpDefaultChar || lpUsedDefaultChar))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD allowed = CodePage == CP_UTF8 ? WC_ERR_INVALID_CHARS
                                      : WC_ERR_INVALID_CHARS | WC_NO_BEST_FIT_CHARS;
  if (dwFlags & ~allowed) {
    SetLastError(CodePage == CP_UTF8 ? ERROR_INVALID_FLAGS : ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  size_t n = cchWideChar == -1 ? WideLength(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    char32_t c = lpWideCharStr[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && lpWideCharStr[i + 1] >= 0xDC00 &&
        lpWideCharStr[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (lpWideCharStr[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (dwFlags & WC_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      c = 0xFFFD;
    }
    EncodeUtf8(c, &out);
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = FALSE;  // UTF-8 represents every character
  if (out.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_ARITHMETIC_OVERFLOW);
    return 0;
  }
  if (cbMultiByte == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(cbMultiByte)) {
    memcpy(lpMultiByteStr, out.data(), static_cast<size_t>(cbMultiByte));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpMultiByteStr, out.data(), out.size());
  return static_cast<int>(out.size());
}

BOOL CharToOemA(LPCSTR pSrc, LPSTR pDst) {
  if (!pSrc || !pDst) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pSrc != pDst) memmove(pDst, pSrc, strlen(pSrc) + 1);
  return TRUE;
}

BOOL OemToCharA(LPCSTR pSrc, LPSTR pDst) { return CharToOemA(pSrc, pDst); }

BOOL CharToOemBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength) {
  if (!lpszSrc || !lpszDst) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpszSrc != lpszDst) memmove(lpszDst, lpszSrc, cchDstLength);
  return TRUE;
}

BOOL OemToCharBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength) {
  return CharToOemBuffA(lpszSrc, lpszDst, cchDstLength);
}

LPSTR CharUpperA(LPSTR lpsz) {
  if (IS_INTRESOURCE(lpsz))
    return reinterpret_cast<LPSTR>(
        static_cast<ULONG_PTR>(static_cast<unsigned char>(Upper(static_cast<char>(
            reinterpret_cast<ULONG_PTR>(lpsz) & 0xFF)))));
  for (char* p = lpsz; *p; ++p) *p = Upper(*p);
  return lpsz;
}

LPSTR CharLowerA(LPSTR lpsz) {
  if (IS_INTRESOURCE(lpsz))
    return reinterpret_cast<LPSTR>(
        static_cast<ULONG_PTR>(static_cast<unsigned char>(Lower(static_cast<char>(
            reinterpret_cast<ULONG_PTR>(lpsz) & 0xFF)))));
  for (char* p = lpsz; *p; ++p) *p = Lower(*p);
  return lpsz;
}

DWORD CharUpperBuffA(LPSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = Upper(lpsz[i]);
  return cchLength;
}

DWORD CharLowerBuffA(LPSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = Lower(lpsz[i]);
  return cchLength;
}

LPSTR CharNextA(LPCSTR lpsz) {
  if (!lpsz || !*lpsz) return const_cast<LPSTR>(lpsz);
  const char* p = lpsz + 1;
  while (*p && (static_cast<unsigned char>(*p) & 0xC0) == 0x80) ++p;
  return const_cast<LPSTR>(p);
}

LPSTR CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent) {
  if (!lpszStart || !lpszCurrent || lpszCurrent <= lpszStart)
    return const_cast<LPSTR>(lpszStart);
  const char* p = lpszCurrent - 1;
  while (p > lpszStart && (static_cast<unsigned char>(*p) & 0xC0) == 0x80) --p;
  return const_cast<LPSTR>(p);
}
