// Reading and writing .reg files.  Values are written as regedit writes them:
//   "name"="text"            REG_SZ (\\ and \" escaped)
//   @=...                    the default value
//   "name"=dword:0000002a    REG_DWORD
//   "name"=hex:01,02         REG_BINARY
//   "name"=hex(N):...        any other type N (hex(2) expandable, hex(7) multi-string,
//                            hex(b) 64-bit, hex(0) none) as the bytes Windows keeps
// with long hex lists continued on the next line after a trailing backslash.  A string
// that a "..." line cannot carry (line breaks, embedded or missing NUL) is written as
// hex(1), which regedit reads back as the same REG_SZ.
#include "registry_text.h"

#include <cstdio>

#include "res_format_utf.h"

namespace w32c {
namespace {

constexpr uint32_t kRegSz = 1, kRegDword = 4, kRegBinary = 3;
constexpr size_t kLineLimit = 80;  // regedit's width for hex lists

// ---- reading ----

std::u16string Decode(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    std::u16string out((size - 2) / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
      out[i] = static_cast<char16_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8);
    return out;
  }
  size_t skip = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF ? 3 : 0;
  return Utf8ToUtf16(reinterpret_cast<const char*>(data) + skip, size - skip);
}

std::vector<std::u16string> SplitLines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string Trim(const std::u16string& s) {
  size_t a = 0, b = s.size();
  while (a < b && IsSpace(s[a])) ++a;
  while (b > a && IsSpace(s[b - 1])) --b;
  return s.substr(a, b - a);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool StartsWithNoCase(const std::u16string& s, size_t at, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (at + i >= s.size() || FoldUnit(s[at + i]) != FoldUnit(static_cast<char16_t>(prefix[i])))
      return false;
  }
  return true;
}

class Parser {
 public:
  Parser(std::vector<std::u16string> lines, const std::u16string& root_name, RegKey* root)
      : lines_(std::move(lines)), root_name_(root_name), root_(root) {}

  bool Run(int* line, std::string* error) {
    bool header = false;
    for (index_ = 0; index_ < lines_.size(); ++index_) {
      std::u16string text = Trim(lines_[index_]);
      if (text.empty() || text[0] == u';') continue;
      bool ok;
      if (!header) {
        ok = text == u"Windows Registry Editor Version 5.00" || text == u"REGEDIT4";
        if (!ok) error_ = "not a registry file (no \"Windows Registry Editor Version 5.00\")";
        header = true;
      } else if (text[0] == u'[') {
        ok = KeyLine(text);
      } else if (text[0] == u'"' || text[0] == u'@') {
        ok = ValueLine(text);
      } else {
        ok = Fail("neither a key nor a value");
      }
      if (!ok) {
        *line = static_cast<int>(index_ + 1);
        *error = error_;
        return false;
      }
    }
    return true;
  }

 private:
  bool Fail(const char* what) {
    error_ = what;
    return false;
  }

  bool KeyLine(const std::u16string& text) {
    size_t close = text.rfind(u']');
    if (close == std::u16string::npos || close < 1) return Fail("a key line without ']'");
    bool remove = text.size() > 1 && text[1] == u'-';
    deleted_ = remove;
    std::u16string path = text.substr(remove ? 2 : 1, close - (remove ? 2 : 1));
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
      size_t slash = path.find(u'\\', start);
      std::u16string part = path.substr(start, slash == std::u16string::npos ? std::u16string::npos : slash - start);
      if (part.empty()) return Fail("an empty key name");
      parts.push_back(std::move(part));
      if (slash == std::u16string::npos) break;
      start = slash + 1;
    }
    if (!EqualNoCase(parts[0], root_name_)) return Fail("a key outside this file's root key");
    current_ = root_;
    for (size_t i = 1; i < parts.size(); ++i) {
      if (remove && i + 1 == parts.size()) {
        current_->Remove(parts[i]);
        current_ = nullptr;  // values after a deleted key belong nowhere
        return true;
      }
      bool created;
      current_ = remove ? current_->Find(parts[i]) : current_->FindOrAdd(parts[i], &created);
      if (!current_) return true;  // deleting below a key that is not there
    }
    if (remove) return Fail("the root key cannot be deleted");
    return true;
  }

  // A quoted text starting at s[*at] == '"'; *at ends past the closing quote.
  bool Quoted(const std::u16string& s, size_t* at, std::u16string* out) {
    out->clear();
    for (size_t i = *at + 1; i < s.size(); ++i) {
      if (s[i] == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
        out->push_back(s[++i]);
      } else if (s[i] == u'"') {
        *at = i + 1;
        return true;
      } else {
        out->push_back(s[i]);
      }
    }
    return Fail("a text without its closing quote");
  }

  // Comma-separated hex bytes from s[at]; a trailing backslash continues on the next line.
  bool HexList(std::u16string s, size_t at, std::vector<uint8_t>* out) {
    for (;;) {
      while (at < s.size() && IsSpace(s[at])) ++at;
      if (at == s.size()) return true;
      if (s[at] == u'\\' && Trim(s.substr(at + 1)).empty()) {
        if (index_ + 1 >= lines_.size()) return Fail("a continued hex list at the end of the file");
        s = lines_[++index_];
        at = 0;
        continue;
      }
      int hi = HexDigit(s[at]);
      int lo = at + 1 < s.size() ? HexDigit(s[at + 1]) : -1;
      if (hi < 0 || lo < 0) return Fail("a bad byte in a hex list");
      out->push_back(static_cast<uint8_t>(hi << 4 | lo));
      at += 2;
      while (at < s.size() && IsSpace(s[at])) ++at;
      if (at < s.size() && s[at] == u',') {
        ++at;
      } else if (at < s.size() && s[at] != u'\\') {
        return Fail("a hex list byte not followed by a comma");
      }
    }
  }

  bool ValueLine(const std::u16string& text) {
    // Values that follow a [-KEY] line belong nowhere and are skipped, as regedit does.
    if (!current_ && !deleted_) return Fail("a value before any key");
    std::u16string name;
    size_t at = 0;
    if (text[0] == u'@') {
      at = 1;
    } else if (!Quoted(text, &at, &name)) {
      return false;
    }
    while (at < text.size() && IsSpace(text[at])) ++at;
    if (at == text.size() || text[at] != u'=') return Fail("a value without '='");
    ++at;
    while (at < text.size() && IsSpace(text[at])) ++at;
    if (at == text.size()) return Fail("a value without data");
    RegKey* key = current_;
    if (text[at] == u'-' && Trim(text.substr(at + 1)).empty()) {
      if (key) key->RemoveValue(name);
      return true;
    }
    uint32_t type;
    std::vector<uint8_t> data;
    if (text[at] == u'"') {
      std::u16string s;
      if (!Quoted(text, &at, &s)) return false;
      if (!Trim(text.substr(at)).empty()) return Fail("text after a string value");
      type = kRegSz;
      for (char16_t c : s) data.insert(data.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
      data.insert(data.end(), {0, 0});
    } else if (StartsWithNoCase(text, at, "dword:")) {
      std::u16string digits = Trim(text.substr(at + 6));
      if (digits.empty() || digits.size() > 8) return Fail("a dword that is not 1 to 8 hex digits");
      uint32_t v = 0;
      for (char16_t c : digits) {
        int d = HexDigit(c);
        if (d < 0) return Fail("a dword that is not 1 to 8 hex digits");
        v = v << 4 | static_cast<uint32_t>(d);
      }
      type = kRegDword;
      data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
              static_cast<uint8_t>(v >> 24)};
    } else if (StartsWithNoCase(text, at, "hex:")) {
      type = kRegBinary;
      if (!HexList(text, at + 4, &data)) return false;
    } else if (StartsWithNoCase(text, at, "hex(")) {
      size_t close = text.find(u')', at);
      if (close == std::u16string::npos || close == at + 4 || close > at + 12 ||
          close + 1 >= text.size() || text[close + 1] != u':')
        return Fail("a bad hex(type): prefix");
      type = 0;
      for (size_t i = at + 4; i < close; ++i) {
        int d = HexDigit(text[i]);
        if (d < 0) return Fail("a bad hex(type): prefix");
        type = type << 4 | static_cast<uint32_t>(d);
      }
      if (!HexList(text, close + 2, &data)) return false;
    } else {
      return Fail("an unknown kind of value");
    }
    if (key) key->SetValue(name, type, std::move(data));
    return true;
  }

  std::vector<std::u16string> lines_;
  const std::u16string& root_name_;
  RegKey* root_;
  RegKey* current_ = nullptr;
  bool deleted_ = false;
  size_t index_ = 0;
  std::string error_;
};

// ---- writing ----

void Escape(const std::u16string& s, std::u16string* out) {
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') out->push_back(u'\\');
    out->push_back(c);
  }
}

// The string a "..." line can carry: UTF-16 text ending in its one NUL, without line
// breaks.
bool PlainString(const std::vector<uint8_t>& data, std::u16string* s) {
  if (data.size() < 2 || data.size() % 2) return false;
  size_t n = data.size() / 2 - 1;
  s->resize(n);
  for (size_t i = 0; i <= n; ++i) {
    char16_t c = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    if (i == n) return c == 0;
    if (c == 0 || c == u'\r' || c == u'\n') return false;
    (*s)[i] = c;
  }
  return true;
}

void AppendHex(const std::vector<uint8_t>& data, std::u16string* out, size_t column) {
  static const char16_t kDigits[] = u"0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    size_t token = i + 1 < data.size() ? 3 : 2;
    // Room is kept for the trailing backslash of a continued line.
    if (column + token > kLineLimit - 1 && column > 2) {
      out->append(u"\\\r\n  ");
      column = 2;
    }
    out->push_back(kDigits[data[i] >> 4]);
    out->push_back(kDigits[data[i] & 15]);
    if (token == 3) out->push_back(u',');
    column += token;
  }
}

void AppendValue(const RegValue& v, std::u16string* out) {
  size_t line_start = out->size();
  if (v.name.empty()) {
    out->push_back(u'@');
  } else {
    out->push_back(u'"');
    Escape(v.name, out);
    out->push_back(u'"');
  }
  out->push_back(u'=');
  std::u16string s;
  if (v.type == kRegSz && PlainString(v.data, &s)) {
    out->push_back(u'"');
    Escape(s, out);
    out->push_back(u'"');
  } else if (v.type == kRegDword && v.data.size() == 4) {
    char buf[16];
    uint32_t x = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<uint32_t>(v.data[3]) << 24;
    snprintf(buf, sizeof buf, "dword:%08x", x);
    for (const char* p = buf; *p; ++p) out->push_back(static_cast<char16_t>(*p));
  } else {
    char buf[24];
    if (v.type == kRegBinary) {
      snprintf(buf, sizeof buf, "hex:");
    } else {
      snprintf(buf, sizeof buf, "hex(%x):", v.type);
    }
    for (const char* p = buf; *p; ++p) out->push_back(static_cast<char16_t>(*p));
    AppendHex(v.data, out, out->size() - line_start);
  }
  out->append(u"\r\n");
}

void AppendKey(const RegKey& key, const std::u16string& path, bool is_root, std::u16string* out) {
  if (!is_root || !key.values.empty()) {
    out->append(u"[" + path + u"]\r\n");
    for (const RegValue& v : key.values) AppendValue(v, out);
    out->append(u"\r\n");
  }
  for (const auto& sub : key.subkeys) AppendKey(*sub, path + u"\\" + sub->name, false, out);
}

}  // namespace

bool ParseRegFile(const uint8_t* data, size_t size, const std::u16string& root_name,
                  RegKey* root, int* line, std::string* error) {
  Parser parser(SplitLines(Decode(data, size)), root_name, root);
  return parser.Run(line, error);
}

std::vector<uint8_t> FormatRegFile(const RegKey& root, const std::u16string& root_name) {
  std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n";
  AppendKey(root, root_name, true, &text);
  std::vector<uint8_t> out = {0xFF, 0xFE};
  out.reserve(2 + 2 * text.size());
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

}  // namespace w32c
