// Code pages and string functions.
#include <string.h>

#include <string>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(CodePage, Utf8ToUtf16AndBack) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"abc", u"abc"},
      {"M\xC3\xBCller", u"M\u00FCller"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},  // a surrogate pair
  };
  for (const Case& c : cases) {
    WCHAR w[16];
    int n = MultiByteToWideChar(CP_UTF8, 0, c.utf8.data(), static_cast<int>(c.utf8.size()), w, 16);
    EXPECT_EQ(std::u16string(w, static_cast<size_t>(n)), c.utf16);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, c.utf8.c_str(), -1, nullptr, 0),
              static_cast<int>(c.utf16.size() + 1));  // -1 counts the terminator
    char a[16];
    n = WideCharToMultiByte(CP_ACP, 0, c.utf16.data(), static_cast<int>(c.utf16.size()), a, 16,
                            nullptr, nullptr);
    EXPECT_EQ(std::string(a, static_cast<size_t>(n)), c.utf8);
  }
}

TEST(CodePage, MalformedInputAndSmallBuffers) {
  WCHAR w[8];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xFF" "b", 3, w, 8), 3);
  EXPECT_EQ(w[1], 0xFFFD);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, w, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC0\xAF", 2, w, 8), 2);  // overlong '/'
  EXPECT_EQ(w[0], 0xFFFD);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcdef", 6, w, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, w, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  const WCHAR lone[] = {0xD800, 'x'};
  char a[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 2, a, 8, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(a, 4), "\xEF\xBF\xBDx");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 2, a, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(CodePage, OemIsIdentityAndCaseIsAscii) {
  char buf[16];
  EXPECT_TRUE(CharToOemA("Gr\xC3\xBC\xC3\x9F", buf));
  EXPECT_STREQ(buf, "Gr\xC3\xBC\xC3\x9F");  // the same bytes, the same length
  EXPECT_TRUE(OemToCharA(buf, buf));
  EXPECT_STREQ(buf, "Gr\xC3\xBC\xC3\x9F");
  char s[] = "abc\xC3\xA4Z";
  EXPECT_STREQ(CharUpperA(s), "ABC\xC3\xA4Z");
  EXPECT_STREQ(CharLowerA(s), "abc\xC3\xA4z");
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(CharUpperA(reinterpret_cast<LPSTR>(ULONG_PTR('q')))),
            ULONG_PTR('Q'));
  const char* t = "\xC3\xA4x";
  EXPECT_EQ(CharNextA(t), t + 2);
  EXPECT_EQ(CharPrevA(t, t + 2), t);
}

TEST(Strings, ComparisonsAndCopies) {
  struct Case {
    const char *a, *b;
    int cmp, cmpi;
  } cases[] = {
      {"abc", "abc", 0, 0}, {"abc", "ABC", -1, 0}, {"a", "B", -1, -1},
      {"B", "a", 1, 1},     {"ab", "abc", -1, -1}, {"", "", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lstrcmpA(c.a, c.b), c.cmp) << c.a << " " << c.b;
    EXPECT_EQ(lstrcmpiA(c.a, c.b), c.cmpi) << c.a << " " << c.b;
  }
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "Zip", -1, "zIP", 3), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "a", -1, "b", -1), CSTR_LESS_THAN);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0x10 /*IGNORESYMBOLS*/, "a", -1, "b", -1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  char buf[8];
  EXPECT_STREQ(lstrcpynA(buf, "abcdefghij", 5), "abcd");
  EXPECT_STREQ(lstrcpyA(buf, "xy"), "xy");
  EXPECT_STREQ(lstrcatA(buf, "z"), "xyz");
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenA(buf), 3);
}

TEST(Strings, WsprintfSubset) {
  struct Case {
    std::string got, expected;
  };
  char b[2048];
  auto f = [&](auto... args) {
    int n = wsprintfA(b, args...);
    EXPECT_EQ(n, static_cast<int>(strlen(b)));
    return std::string(b);
  };
  const Case cases[] = {
      {f("%s-%d-%u", "x", -5, 7u), "x--5-7"},
      {f("%08X|%x|%#x", 0xBEEFu, 255u, 255u), "0000BEEF|ff|0xff"},
      {f("%ld %lu", static_cast<LONG>(-1), static_cast<ULONG>(4000000000u)), "-1 4000000000"},
      {f("[%5s][%-5s][%.2s]", "ab", "ab", "abc"), "[   ab][ab   ][ab]"},
      {f("%c%c%%", 'o', 'k'), "ok%"},
      {f("%s", static_cast<const char*>(nullptr)), "(null)"},
      {f("%S", u"wide"), "wide"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
  std::string big(3000, 'x');
  EXPECT_EQ(wsprintfA(b, "%s", big.c_str()), 1023);  // output stops at 1024 bytes
}

}  // namespace
