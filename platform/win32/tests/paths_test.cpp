// Windows paths <-> POSIX paths through the drive table, and the path functions.
#include <stdlib.h>
#include <unistd.h>

#include "k32_fixture.h"

namespace {

std::string ToPosix(const std::string& w, DWORD* error = nullptr) {
  char out[4096];
  SetLastError(0);
  DWORD n = Win32CompatToPosixPath(w.c_str(), out, sizeof out);
  if (error) *error = GetLastError();
  return n ? std::string(out, n) : std::string("<fail>");
}

std::string ToWindows(const std::string& p) {
  char out[4096];
  DWORD n = Win32CompatToWindowsPath(p.c_str(), out, sizeof out);
  return n ? std::string(out, n) : std::string("<fail>");
}

std::string Cwd() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? buf : "";
}

class Paths : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_.P("m"));
    m_ = dir_.P("m");
    ASSERT_TRUE(Win32CompatMapDrive('M', m_.c_str(), FALSE, nullptr));
  }
  void TearDown() override { Win32CompatUnmapDrive('M'); }
  ScratchDir dir_;
  std::string m_;
};

TEST_F(Paths, IntoPosix) {
  struct Case {
    std::string windows, posix;
  } cases[] = {
      {"C:\\tmp\\x", "/tmp/x"},
      {"c:/tmp/x", "/tmp/x"},             // forward slashes and lower-case drives
      {"C:\\", "/"},
      {"\\tmp\\x", "/tmp/x"},             // rooted without a drive: a POSIX path
      {"/tmp/x", "/tmp/x"},
      {"\\\\?\\C:\\tmp", "/tmp"},
      {"M:\\a\\b", m_ + "/a/b"},
      {"M:\\", m_},
      {"M:", m_},                          // the current directory is not on M:
      {"M:rel\\x", m_ + "/rel/x"},
      {"M:\\a\\.\\b\\..\\c", m_ + "/a/c"},
      {"M:\\..\\..\\etc\\passwd", m_ + "/etc/passwd"},  // never above the drive's root
      {"M:\\a\\\\b\\", m_ + "/a/b"},
      {"rel\\x", Cwd() + "/rel/x"},
      {".\\x\\..\\y", Cwd() + "/y"},
  };
  for (const Case& c : cases) EXPECT_EQ(ToPosix(c.windows), c.posix) << c.windows;
}

TEST_F(Paths, FromPosix) {
  struct Case {
    std::string posix, windows;
  } cases[] = {
      {"/", "C:\\"},
      {"/tmp/x", "C:\\tmp\\x"},
      {"/a/../b//c/.", "C:\\b\\c"},
      {m_, "M:\\"},
      {m_ + "/a/b", "M:\\a\\b"},
      {m_ + "x/y", ToWindows(dir_.posix()) + "\\mx\\y"},  // only whole directory names count
  };
  for (const Case& c : cases) EXPECT_EQ(ToWindows(c.posix), c.windows) << c.posix;
  ASSERT_EQ(chdir(m_.c_str()), 0);
  EXPECT_EQ(ToWindows("rel/f"), "M:\\rel\\f");
  EXPECT_EQ(ToPosix("M:rel"), m_ + "/rel");  // drive-relative on the current drive
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(Paths, Failures) {
  struct Case {
    std::string windows;
    DWORD error;
  } cases[] = {
      {"Q:\\x", ERROR_PATH_NOT_FOUND},
      {"\\\\server\\share\\x", ERROR_BAD_NETPATH},
      {"1:\\x", ERROR_INVALID_NAME},
      {"C:\\a:b", ERROR_INVALID_NAME},
      {"", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    DWORD error;
    EXPECT_EQ(ToPosix(c.windows, &error), "<fail>") << c.windows;
    EXPECT_EQ(error, c.error) << c.windows;
  }
  // A buffer too small gets nothing and the size needed.
  char small[4] = "abc";
  EXPECT_EQ(Win32CompatToPosixPath("C:\\tmp\\x", small, sizeof small), 7u);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(Win32CompatToWindowsPath("/tmp", small, sizeof small), 7u);
}

TEST_F(Paths, WithoutDriveC) {
  ASSERT_TRUE(Win32CompatUnmapDrive('C'));
  EXPECT_EQ(ToWindows("/tmp/x"), "\\tmp\\x");
  EXPECT_EQ(ToPosix("\\tmp\\x"), "/tmp/x");
  DWORD error;
  EXPECT_EQ(ToPosix("C:\\tmp", &error), "<fail>");
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(Win32CompatMapDrive('C', "/", FALSE, nullptr));
  EXPECT_EQ(ToWindows("/tmp/x"), "C:\\tmp\\x");
}

TEST_F(Paths, GetFullPathName) {
  ASSERT_EQ(chdir(m_.c_str()), 0);
  struct Case {
    std::string in, full, part;
  } cases[] = {
      {"M:\\a\\..\\b.txt", "M:\\b.txt", "b.txt"},
      {"x.txt", "M:\\x.txt", "x.txt"},
      {"sub\\", "M:\\sub\\", ""},  // a trailing backslash: no file part
      {"C:\\", "C:\\", ""},
      {"/tmp/y", "C:\\tmp\\y", "y"},
  };
  for (const Case& c : cases) {
    char buf[MAX_PATH];
    LPSTR part = reinterpret_cast<LPSTR>(1);
    DWORD n = GetFullPathNameA(c.in.c_str(), sizeof buf, buf, &part);
    EXPECT_EQ(std::string(buf, n), c.full) << c.in;
    EXPECT_EQ(part ? std::string(part) : std::string(), c.part) << c.in;
  }
  char tiny[4];
  EXPECT_EQ(GetFullPathNameA("M:\\abc", sizeof tiny, tiny, nullptr), 7u);
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(Paths, TempAndShortPaths) {
  const char* old = getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", m_.c_str(), 1);
  char buf[MAX_PATH];
  DWORD n = GetTempPathA(sizeof buf, buf);
  EXPECT_EQ(std::string(buf, n), "M:\\");
  unsetenv("TMPDIR");
  n = GetTempPathA(sizeof buf, buf);
  EXPECT_EQ(std::string(buf, n), "C:\\tmp\\");
  EXPECT_EQ(GetTempPathA(3, buf), n + 1);
  if (old) setenv("TMPDIR", saved.c_str(), 1);

  dir_.Write("m/Long Name.text", "x");
  n = GetShortPathNameA("M:\\Long Name.text", buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n), "M:\\Long Name.text");
  EXPECT_EQ(GetShortPathNameA("M:\\missing", buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
