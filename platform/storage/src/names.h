// Element names: the ordering of sibling names in the directory tree (shorter names first,
// then code unit by code unit after upper-casing) and the rules for valid names.
#pragma once
#include <string>

namespace cfb {

char16_t UpperCase(char16_t c);
// <0, 0, >0 as a sorts before, with, or after b among siblings.  Equal means the same name.
int CompareNames(const std::u16string& a, const std::u16string& b);
struct NameLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return CompareNames(a, b) < 0;
  }
};
// A new element name: 1 to 31 code units, none of '/', '\\', ':', '!' and no NUL.
bool ValidNewName(const std::u16string& name);

std::u16string Utf8ToUtf16(const std::string& s);
std::string Utf16ToUtf8(const std::u16string& s);

}  // namespace cfb
