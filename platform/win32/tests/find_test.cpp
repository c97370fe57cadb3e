// FindFirstFileA / FindNextFileA: Windows pattern rules, entries and their data.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <vector>

#include "k32_fixture.h"

namespace {

std::vector<std::string> FindAll(const std::string& pattern, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return names;
  }
  do {
    names.push_back(data.cFileName);
    EXPECT_EQ(data.cAlternateFileName[0], 0);
  } while (FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(h));
  if (error) *error = ERROR_SUCCESS;
  return names;
}

using Names = std::vector<std::string>;

struct PatternCase {
  const char* pattern;
  Names expected;  // in the order returned
};

class Patterns : public testing::TestWithParam<PatternCase> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    for (const char* n : {"README", "a.txt", "B.TXT", "c.txt.bak", "ab.c", "abc", "x.y.z", ".hid"})
      dir_->Write(n, n);
    std::filesystem::create_directory(dir_->P("Sub"));
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static ScratchDir* dir_;
};
ScratchDir* Patterns::dir_ = nullptr;

TEST_P(Patterns, MatchAsWindowsDoes) {
  const PatternCase& c = GetParam();
  DWORD error;
  Names got = FindAll(dir_->W(c.pattern), &error);
  EXPECT_EQ(got, c.expected) << c.pattern;
  if (c.expected.empty()) {
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
}

const Names kAll = {".", "..", ".hid", "a.txt", "ab.c", "abc", "B.TXT", "c.txt.bak", "README",
                    "Sub", "x.y.z"};

INSTANTIATE_TEST_SUITE_P(
    Table, Patterns,
    testing::Values(
        PatternCase{"*", kAll},
        PatternCase{"*.*", kAll},  // also the names without a dot
        PatternCase{"*.txt", {"a.txt", "B.TXT"}},
        PatternCase{"*.TXT", {"a.txt", "B.TXT"}},  // case-insensitive
        PatternCase{"*.", {".", "..", "abc", "README", "Sub"}},  // names without an extension
        PatternCase{"?.txt", {"a.txt", "B.TXT"}},
        PatternCase{"a?", {}},
        PatternCase{"ab?", {"abc"}},       // "?" at the end also matches nothing...
        PatternCase{"abc?", {"abc"}},      // ...so "abc?" finds "abc"
        PatternCase{"ab?.c", {"ab.c"}},    // and before a dot
        PatternCase{"???", {"abc", "Sub"}},
        PatternCase{"abc.*", {"abc"}},     // ".*" also matches no extension
        PatternCase{"c.*", {"c.txt.bak"}},
        PatternCase{"*.bak", {"c.txt.bak"}},
        PatternCase{"*.y", {}},            // "*" before "." stops at the last dot
        PatternCase{"x.*", {"x.y.z"}},
        PatternCase{"readme", {"README"}},
        PatternCase{"sub", {"Sub"}},
        PatternCase{"nothing*", {}}));

TEST(Find, EntryDataAndErrors) {
  ScratchDir dir;
  dir.Write("f.bin", std::string(300, 'x'));
  std::filesystem::create_directory(dir.P("d"));
  chmod(dir.P("f.bin").c_str(), 0444);
  FILETIME t;
  ASSERT_TRUE(DosDateTimeToFileTime((30 << 9) | (1 << 5) | 2, (3 << 11) | (4 << 5) | 5, &t));
  struct timespec times[2];
  {
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&t, &st));
    struct tm tm = {};
    tm.tm_year = st.wYear - 1900;
    tm.tm_mon = st.wMonth - 1;
    tm.tm_mday = st.wDay;
    tm.tm_hour = st.wHour;
    tm.tm_min = st.wMinute;
    tm.tm_sec = st.wSecond;
    times[0].tv_sec = times[1].tv_sec = timegm(&tm);
    times[0].tv_nsec = times[1].tv_nsec = 0;
  }
  ASSERT_EQ(utimensat(AT_FDCWD, dir.P("f.bin").c_str(), times, 0), 0);

  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(dir.W("f.bin").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "f.bin");
  EXPECT_EQ(data.nFileSizeLow, 300u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &t), 0);
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(h));
  EXPECT_FALSE(FindClose(h));  // stale
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  h = FindFirstFileA(dir.W("d").c_str(), &data);  // a directory names itself
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(data.nFileSizeLow, 0u);
  FindClose(h);
  EXPECT_EQ(FindAll(dir.W("d\\*")), (Names{".", ".."}));

  struct Case {
    std::string pattern;
    DWORD error;
  } cases[] = {
      {dir.W("none\\*"), ERROR_PATH_NOT_FOUND},
      {dir.W("f.bin\\*"), ERROR_PATH_NOT_FOUND},
      {dir.W("d\\"), ERROR_FILE_NOT_FOUND},  // a trailing backslash is not a pattern
      {dir.W("*\\x"), ERROR_INVALID_NAME},
      {"", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    DWORD error;
    EXPECT_TRUE(FindAll(c.pattern, &error).empty()) << c.pattern;
    EXPECT_EQ(error, c.error) << c.pattern;
  }
}

TEST(Find, DriveRootsHaveNoDotEntriesAndHideTheLabelFile) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.P("disk"));
  ASSERT_TRUE(Win32CompatMapDrive('R', dir.P("disk").c_str(), TRUE, "VOLUME"));
  dir.Write("disk/one", "1");
  EXPECT_EQ(FindAll("R:\\*.*"), (Names{"one"}));
  EXPECT_EQ(FindAll("R:*"), (Names{"one"}));
  std::filesystem::create_directory(dir.P("disk/sub"));
  EXPECT_EQ(FindAll("R:\\sub\\*"), (Names{".", ".."}));
  EXPECT_TRUE(Win32CompatUnmapDrive('R'));
}

}  // namespace
