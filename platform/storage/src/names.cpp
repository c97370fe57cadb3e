#include "names.h"

#include <array>

#include "format.h"

namespace cfb {

namespace {
// Simple upper-case mapping for the Basic Multilingual Plane ranges that differ from their
// upper case by a fixed step: Latin, Latin-1, Latin Extended-A, Greek, Cyrillic, Armenian,
// fullwidth Latin.  Built once.
struct UpperTable {
  std::array<char16_t, 0x10000> map{};
  UpperTable() {
    for (uint32_t c = 0; c < 0x10000; ++c) map[c] = char16_t(c);
    auto range = [&](uint32_t lo, uint32_t hi, int delta) {
      for (uint32_t c = lo; c <= hi; ++c) map[c] = char16_t(int(c) + delta);
    };
    range(0x61, 0x7A, -32);
    range(0xE0, 0xF6, -32);
    range(0xF8, 0xFE, -32);
    map[0xFF] = 0x178;
    for (uint32_t c = 0x101; c <= 0x177; c += 2) {
      if (c == 0x131 || (c >= 0x139 && c <= 0x149)) continue;
      map[c] = char16_t(c - 1);
    }
    map[0x131] = u'I';
    map[0x17F] = u'S';
    // Latin Extended-A pairs that start on an odd code point.
    for (uint32_t c = 0x13A; c <= 0x148; c += 2) map[c] = char16_t(c - 1);
    for (uint32_t c = 0x17A; c <= 0x17E; c += 2) map[c] = char16_t(c - 1);
    range(0x3B1, 0x3C1, -32);
    range(0x3C3, 0x3CB, -32);
    map[0x3C2] = 0x3A3;
    range(0x430, 0x44F, -32);
    range(0x450, 0x45F, -80);
    for (uint32_t c = 0x461; c <= 0x481; c += 2) map[c] = char16_t(c - 1);
    for (uint32_t c = 0x48B; c <= 0x4BF; c += 2) map[c] = char16_t(c - 1);
    range(0x561, 0x586, -48);
    range(0xFF41, 0xFF5A, -32);
  }
};
const UpperTable& Table() {
  static const UpperTable table;
  return table;
}
}  // namespace

char16_t UpperCase(char16_t c) { return Table().map[c]; }

int CompareNames(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const auto& map = Table().map;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = map[a[i]], y = map[b[i]];
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool ValidNewName(const std::u16string& name) {
  if (name.empty() || name.size() > kMaxNameChars) return false;
  for (char16_t c : name)
    if (c == u'/' || c == u'\\' || c == u':' || c == u'!' || c == 0) return false;
  return true;
}

std::u16string Utf8ToUtf16(const std::string& s) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = s[i];
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 6 && i + 1 < s.size()) {
      cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
      len = 2;
    } else if ((c >> 4) == 14 && i + 2 < s.size()) {
      cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      len = 3;
    } else if ((c >> 3) == 30 && i + 3 < s.size()) {
      cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
           (s[i + 3] & 0x3F);
      len = 4;
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp > 0xFFFF ? 0xFFFD : cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace cfb
