#include "res_format_utf.h"

namespace w32c {
namespace {

void PutUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Length of a well-formed UTF-8 sequence at s (0 when it is not one) and its value.
size_t DecodeUtf8(const unsigned char* s, size_t n, char32_t* c) {
  unsigned char b = s[0];
  size_t len;
  char32_t v, min;
  if (b < 0x80) {
    *c = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    len = 2, v = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, v = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, v = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (n < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    v = v << 6 | (s[i] & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v < 0xE000)) return 0;
  *c = v;
  return len;
}

}  // namespace

std::string Utf16ToUtf8(const char16_t* s, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    PutUtf8(&out, c);
  }
  return out;
}

std::u16string Utf8ToUtf16(const char* s, size_t n) {
  std::u16string out;
  out.reserve(n);
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  size_t i = 0;
  while (i < n) {
    char32_t c;
    size_t len = DecodeUtf8(p + i, n - i, &c);
    if (len == 0) {
      c = p[i];  // not UTF-8: the byte as Latin-1
      len = 1;
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += len;
  }
  return out;
}

size_t Utf8PrefixLength(const char* s, size_t n, size_t limit) {
  if (limit >= n) return n;
  // Step back over continuation bytes to the start of the character cut by the limit.
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return end;
}

char16_t FoldUnit(char16_t c) {
  if (c >= u'a' && c <= u'z') return c - 0x20;
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs: mostly even upper / odd lower, shifted by one around
    // U+0138 and U+0149..U+0178.
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    if (c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c & 1) ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;  // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;                 // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

bool EqualNoCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldUnit(a[i]) != FoldUnit(b[i])) return false;
  return true;
}

int CompareNoCase(const std::u16string& a, const std::u16string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    char16_t x = FoldUnit(a[i]), y = FoldUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace w32c
