// UTF-16 <-> UTF-8 conversion and the case folding that resource and registry names use.
// The ANSI code page on POSIX is UTF-8, so these are the stand-in's A <-> W conversions.
#pragma once
#include <cstddef>
#include <string>

namespace w32c {

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const char16_t* s, size_t n);
inline std::string Utf16ToUtf8(const std::u16string& s) { return Utf16ToUtf8(s.data(), s.size()); }
// Bytes that are not UTF-8 are taken as Latin-1, so that no input is lost.
std::u16string Utf8ToUtf16(const char* s, size_t n);
inline std::u16string Utf8ToUtf16(const std::string& s) { return Utf8ToUtf16(s.data(), s.size()); }

// The length of the longest prefix of s[0, limit) that ends on a character boundary.
size_t Utf8PrefixLength(const char* s, size_t n, size_t limit);

// Upper case for name comparisons: ASCII, Latin-1 and Latin Extended-A, Greek and
// Cyrillic basic letters (what names in practice use).
char16_t FoldUnit(char16_t c);
bool EqualNoCase(const std::u16string& a, const std::u16string& b);
// Orders names case-insensitively, as the registry sorts subkeys.
int CompareNoCase(const std::u16string& a, const std::u16string& b);

}  // namespace w32c
