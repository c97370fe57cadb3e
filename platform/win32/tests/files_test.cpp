// File handles and operations by name, against documented Win32 behaviour.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "k32_fixture.h"

namespace {

constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ,
                SW = FILE_SHARE_WRITE, SD = FILE_SHARE_DELETE;

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING,
            DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  return CreateFileA(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
}

// A second opening of a file meets the first's share mode and the first's access must be
// in the second's share mode (the table of "Creating and Opening Files").
struct ShareCase {
  DWORD access1, share1, access2, share2;
  bool second_opens;
};

class Sharing : public testing::TestWithParam<ShareCase> {};

TEST_P(Sharing, SecondOpeningFollowsTheShareModes) {
  ScratchDir dir;
  dir.Write("f", "data");
  const ShareCase& c = GetParam();
  HANDLE first = Open(dir.W("f"), c.access1, c.share1);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  HANDLE second = Open(dir.W("f"), c.access2, c.share2);
  if (c.second_opens) {
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(second));
  } else {
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  }
  EXPECT_TRUE(CloseHandle(first));
  // Once the first is closed nothing stands in the way.
  HANDLE again = Open(dir.W("f"), c.access2, c.share2);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, Sharing,
    testing::Values(ShareCase{R, SR, R, SR, true}, ShareCase{R, SR, W, SR | SW, false},
                    ShareCase{R, SR | SW, W, SR | SW, true}, ShareCase{R, SR | SW, W, SW, false},
                    ShareCase{W, SR, R, SR, false}, ShareCase{W, SR, R, SR | SW, true},
                    ShareCase{W, SW, W, SW, true}, ShareCase{R | W, 0, R, SR | SW | SD, false},
                    ShareCase{R | W, SR | SW, R | W, SR | SW, true},
                    ShareCase{0, 0, R, SR | SW, true}, ShareCase{R, SR | SW, 0, 0, true},
                    ShareCase{R, SR | SD, DELETE, SR | SD, true},
                    ShareCase{R, SR, DELETE, SR, false}, ShareCase{DELETE, SD, R, SR, false}));

struct DispositionCase {
  DWORD disposition;
  bool exists;
  bool opens;
  DWORD error;         // last error afterwards
  std::string content;  // of the file afterwards
};

class Disposition : public testing::TestWithParam<DispositionCase> {};

TEST_P(Disposition, CreatesOpensOrTruncatesAsDocumented) {
  const DispositionCase& c = GetParam();
  ScratchDir dir;
  if (c.exists) dir.Write("f", "old");
  HANDLE h = Open(dir.W("f"), R | W, 0, c.disposition);
  EXPECT_EQ(GetLastError(), c.error);
  if (!c.opens) {
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(dir.Exists("f"), c.exists);
    return;
  }
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(dir.Read("f"), c.content);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Disposition,
    testing::Values(DispositionCase{CREATE_NEW, false, true, ERROR_SUCCESS, ""},
                    DispositionCase{CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
                    DispositionCase{CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
                    DispositionCase{CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
                    DispositionCase{OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, ""},
                    DispositionCase{OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
                    DispositionCase{OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
                    DispositionCase{OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
                    DispositionCase{TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, ""},
                    DispositionCase{TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""}));

TEST(CreateFile, FailuresCarryTheirErrors) {
  ScratchDir dir;
  dir.Write("ro", "x");
  chmod(dir.P("ro").c_str(), 0444);
  struct Case {
    std::string path;
    DWORD access, disposition, flags, error;
  } cases[] = {
      {dir.W("missing\\f"), R, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {dir.W("missing\\f"), W, CREATE_ALWAYS, 0, ERROR_PATH_NOT_FOUND},
      {dir.win(), R, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},  // a directory
      {dir.W("ro"), W, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {dir.W("ro"), R, CREATE_ALWAYS, 0, ERROR_ACCESS_DENIED},
      {dir.W("ro"), R, 0, 0, ERROR_INVALID_PARAMETER},
      {dir.W("ro"), R, TRUNCATE_EXISTING, 0, ERROR_INVALID_PARAMETER},  // needs write access
      {dir.W("n"), R, CREATE_NEW, FILE_FLAG_OVERLAPPED, ERROR_CALL_NOT_IMPLEMENTED},
      {dir.W("n"), R, CREATE_NEW, FILE_FLAG_NO_BUFFERING, ERROR_CALL_NOT_IMPLEMENTED},
      {"Q:\\nowhere", R, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {"\\\\server\\share\\f", R, OPEN_EXISTING, 0, ERROR_BAD_NETPATH},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SetLastError(0);
    EXPECT_EQ(Open(c.path, c.access, 0, c.disposition, c.flags), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_FALSE(dir.Exists("n"));
  EXPECT_EQ(dir.Read("ro"), "x");
}

TEST(CreateFile, ReadOnlyAttributeOnCreateStillLetsThisHandleWrite) {
  ScratchDir dir;
  HANDLE h = Open(dir.W("f"), W, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
  CloseHandle(h);
  EXPECT_EQ(dir.Read("f"), "abc");
  EXPECT_EQ(GetFileAttributesA(dir.W("f").c_str()) & FILE_ATTRIBUTE_READONLY,
            FILE_ATTRIBUTE_READONLY);
}

TEST(ReadWrite, AccessModesAndEndOfFile) {
  ScratchDir dir;
  HANDLE h = Open(dir.W("f"), W, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[16];
  DWORD n = 99;
  EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_TRUE(FlushFileBuffers(h));
  CloseHandle(h);

  h = Open(dir.W("f"), R, SR);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(FlushFileBuffers(h));
  EXPECT_TRUE(ReadFile(h, buf, 5, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "hello");
  EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), " world");
  EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));  // end of file: success, 0 bytes
  EXPECT_EQ(n, 0u);
  CloseHandle(h);
}

TEST(FilePointer, HighPartSemantics) {
  ScratchDir dir;
  HANDLE h = Open(dir.W("f"), R | W, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n;
  ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));

  EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_END), 9u);
  EXPECT_EQ(SetFilePointer(h, -2, nullptr, FILE_CURRENT), 7u);
  // Before the start: fails, pointer unchanged.
  EXPECT_EQ(SetFilePointer(h, -8, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 7u);
  // With a high part the distance is 64-bit: high -1, low -3 is -3.
  LONG high = -1;
  EXPECT_EQ(SetFilePointer(h, -3, &high, FILE_END), 7u);
  EXPECT_EQ(high, 0);
  // 0xFFFFFFFF with a high part is a valid position told apart by GetLastError.
  high = 0;
  SetLastError(1234);
  EXPECT_EQ(SetFilePointer(h, static_cast<LONG>(0xFFFFFFFFu), &high, FILE_BEGIN),
            INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), NO_ERROR);
  high = 1;
  EXPECT_EQ(SetFilePointer(h, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  // Without a high part a position past 4 GiB cannot be reported: it fails.
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_NE(GetLastError(), NO_ERROR);

  LARGE_INTEGER to, now;
  to.QuadPart = 3;
  EXPECT_TRUE(SetFilePointerEx(h, to, &now, FILE_BEGIN));
  EXPECT_EQ(now.QuadPart, 3);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // SetEndOfFile cuts (or extends) at the pointer.
  SetFilePointer(h, 6, nullptr, FILE_BEGIN);
  EXPECT_TRUE(SetEndOfFile(h));
  DWORD size_high = 7;
  EXPECT_EQ(GetFileSize(h, &size_high), 6u);
  EXPECT_EQ(size_high, 0u);
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  char buf[16];
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "012345");
  LARGE_INTEGER size;
  EXPECT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 6);
  CloseHandle(h);
}

TEST(Handles, StaleAndForeignHandlesAreRefused) {
  ScratchDir dir;
  HANDLE h = Open(dir.W("f"), W, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(h));
  DWORD n;
  for (HANDLE bad : {h, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr),
                     reinterpret_cast<HANDLE>(0x12345)}) {
    EXPECT_FALSE(WriteFile(bad, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(bad, nullptr), INVALID_FILE_SIZE);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

TEST(CreateFile, DeleteOnCloseRemovesTheFile) {
  ScratchDir dir;
  HANDLE h = Open(dir.W("t"), R | W, SD, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(dir.Exists("t"));
  CloseHandle(h);
  EXPECT_FALSE(dir.Exists("t"));
}

TEST(DeleteFile, OpenReadOnlyMissingAndDirectories) {
  ScratchDir dir;
  dir.Write("a", "1");
  dir.Write("b", "2");
  dir.Write("ro", "3");
  chmod(dir.P("ro").c_str(), 0444);
  std::filesystem::create_directory(dir.P("d"));

  HANDLE keep = Open(dir.W("a"), R, SR);
  HANDLE shared = Open(dir.W("b"), R, SR | SD);
  ASSERT_NE(keep, INVALID_HANDLE_VALUE);
  ASSERT_NE(shared, INVALID_HANDLE_VALUE);
  struct Case {
    const char* name;
    bool ok;
    DWORD error;
  } cases[] = {
      {"a", false, ERROR_SHARING_VIOLATION}, {"b", true, 0},
      {"ro", false, ERROR_ACCESS_DENIED},    {"d", false, ERROR_ACCESS_DENIED},
      {"none", false, ERROR_FILE_NOT_FOUND}, {"nodir\\x", false, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DeleteFileA(dir.W(c.name).c_str()) != FALSE, c.ok);
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
  EXPECT_TRUE(dir.Exists("a"));
  EXPECT_FALSE(dir.Exists("b"));
  CloseHandle(keep);
  CloseHandle(shared);
  EXPECT_TRUE(DeleteFileA(dir.W("a").c_str()));
}

TEST(MoveFile, ReplaceAndFailures) {
  ScratchDir dir;
  dir.Write("src", "new");
  dir.Write("dst", "old");
  EXPECT_FALSE(MoveFileExA(dir.W("src").c_str(), dir.W("dst").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(MoveFileA(dir.W("src").c_str(), dir.W("dst").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(dir.Read("dst"), "old");

  HANDLE open_src = Open(dir.W("src"), R, SR);
  EXPECT_FALSE(MoveFileExA(dir.W("src").c_str(), dir.W("dst").c_str(),
                           MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(open_src);

  chmod(dir.P("dst").c_str(), 0444);
  EXPECT_FALSE(MoveFileExA(dir.W("src").c_str(), dir.W("dst").c_str(),
                           MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  chmod(dir.P("dst").c_str(), 0644);

  EXPECT_TRUE(MoveFileExA(dir.W("src").c_str(), dir.W("dst").c_str(),
                          MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(dir.Read("dst"), "new");
  EXPECT_FALSE(dir.Exists("src"));

  EXPECT_TRUE(MoveFileA(dir.W("dst").c_str(), dir.W("moved").c_str()));
  EXPECT_EQ(dir.Read("moved"), "new");
  EXPECT_FALSE(MoveFileA(dir.W("gone").c_str(), dir.W("x").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFileExA(dir.W("moved").c_str(), dir.W("x").c_str(),
                           MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);

  // Directories move within a volume.
  std::filesystem::create_directory(dir.P("d1"));
  EXPECT_TRUE(MoveFileA(dir.W("d1").c_str(), dir.W("d2").c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(dir.P("d2")));
}

TEST(MoveFile, AcrossFileSystemsCopiesOnlyWhenAllowed) {
  // /dev/shm is a different file system from the build tree on the machines we use.
  struct stat a, b;
  ScratchDir dir;
  if (stat("/dev/shm", &b) != 0 || stat(dir.posix().c_str(), &a) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system";
  std::string other = "/dev/shm/k32-move-" + std::to_string(getpid());
  dir.Write("f", "payload");
  chmod(dir.P("f").c_str(), 0600);
  EXPECT_FALSE(MoveFileExA(dir.W("f").c_str(), other.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
  EXPECT_TRUE(dir.Exists("f"));
  ASSERT_TRUE(MoveFileExA(dir.W("f").c_str(), other.c_str(), MOVEFILE_COPY_ALLOWED));
  EXPECT_FALSE(dir.Exists("f"));
  std::ifstream in(other);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "payload");
  struct stat st;
  ASSERT_EQ(stat(other.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  unlink(other.c_str());
}

TEST(CopyFile, FailIfExistsSelfCopyAndAttributes) {
  ScratchDir dir;
  dir.Write("src", "content");
  dir.Write("dst", "old");
  EXPECT_FALSE(CopyFileA(dir.W("src").c_str(), dir.W("dst").c_str(), TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(dir.Read("dst"), "old");
  EXPECT_TRUE(CopyFileA(dir.W("src").c_str(), dir.W("dst").c_str(), FALSE));
  EXPECT_EQ(dir.Read("dst"), "content");
  // Onto itself: refused, and the data stays.
  EXPECT_FALSE(CopyFileA(dir.W("src").c_str(), dir.W(".\\src").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(dir.Read("src"), "content");
  // The copy keeps the write time and the read-only attribute.
  FILETIME t;
  ASSERT_TRUE(DosDateTimeToFileTime((20 << 9) | (6 << 5) | 15, (10 << 11) | (30 << 5), &t));
  HANDLE h = Open(dir.W("src"), W, 0);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &t));
  CloseHandle(h);
  ASSERT_TRUE(SetFileAttributesA(dir.W("src").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(CopyFileA(dir.W("src").c_str(), dir.W("copy").c_str(), TRUE));
  EXPECT_TRUE(GetFileAttributesA(dir.W("copy").c_str()) & FILE_ATTRIBUTE_READONLY);
  h = Open(dir.W("copy"), R, SR);
  FILETIME w;
  ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &w));
  CloseHandle(h);
  EXPECT_EQ(CompareFileTime(&w, &t), 0);
  // A read-only target is not overwritten; a target open without sharing is not either.
  EXPECT_FALSE(CopyFileA(dir.W("dst").c_str(), dir.W("copy").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE busy = Open(dir.W("dst"), R, 0);
  EXPECT_FALSE(CopyFileA(dir.W("dst").c_str(), dir.W("other").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(busy);
  EXPECT_FALSE(CopyFileA(dir.W("none").c_str(), dir.W("x").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Attributes, RoundTrips) {
  ScratchDir dir;
  dir.Write("plain", "x");
  dir.Write(".dotted", "x");
  std::filesystem::create_directory(dir.P("sub"));
  EXPECT_EQ(GetFileAttributesA(dir.W("plain").c_str()), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetFileAttributesA(dir.W(".dotted").c_str()),
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetFileAttributesA(dir.W("sub").c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA(dir.W("none").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  struct Case {
    DWORD set, expect;
  } cases[] = {
      {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY},
      {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
      {FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
      {0, FILE_ATTRIBUTE_NORMAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    ASSERT_TRUE(SetFileAttributesA(dir.W("plain").c_str(), c.set));
    EXPECT_EQ(GetFileAttributesA(dir.W("plain").c_str()), c.expect);
    struct stat st;
    ASSERT_EQ(stat(dir.P("plain").c_str(), &st), 0);
    EXPECT_EQ((st.st_mode & S_IWUSR) == 0, (c.set & FILE_ATTRIBUTE_READONLY) != 0);
  }
  // A dot name is hidden whatever is stored.
  ASSERT_TRUE(SetFileAttributesA(dir.W(".dotted").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(dir.W(".dotted").c_str()), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(SetFileAttributesA(dir.W("plain").c_str(), 0x800 /*COMPRESSED*/));
  EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
}

TEST(FileTime, SetAndGetThroughHandles) {
  ScratchDir dir;
  HANDLE h = Open(dir.W("f"), R | W, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SYSTEMTIME st{2001, 2, 0, 3, 4, 5, 6, 0};
  FILETIME t, access, write, creation;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &t));
  ASSERT_TRUE(SetFileTime(h, nullptr, &t, &t));
  ASSERT_TRUE(GetFileTime(h, &creation, &access, &write));
  EXPECT_EQ(CompareFileTime(&write, &t), 0);
  EXPECT_EQ(CompareFileTime(&access, &t), 0);
  // A NULL time leaves the old one.
  FILETIME later = t;
  later.dwHighDateTime += 1;
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &later));
  ASSERT_TRUE(GetFileTime(h, nullptr, &access, &write));
  EXPECT_EQ(CompareFileTime(&access, &t), 0);
  EXPECT_EQ(CompareFileTime(&write, &later), 0);
  CloseHandle(h);
  h = Open(dir.W("f"), R, SR);
  EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &t));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(h);
}

TEST(Directories, CreateRemoveAndCurrent) {
  ScratchDir dir;
  EXPECT_TRUE(CreateDirectoryA(dir.W("a").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA(dir.W("a").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA(dir.W("x\\y").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  dir.Write("a/f", "1");
  EXPECT_FALSE(RemoveDirectoryA(dir.W("a").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(RemoveDirectoryA(dir.W("a\\f").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  EXPECT_FALSE(RemoveDirectoryA(dir.W("none").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(DeleteFileA(dir.W("a\\f").c_str()));
  EXPECT_TRUE(RemoveDirectoryA(dir.W("a").c_str()));

  char saved[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(sizeof saved, saved), 0u);
  ASSERT_TRUE(CreateDirectoryA(dir.W("cwd").c_str(), nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA(dir.W("cwd").c_str()));
  char now[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof now, now);
  EXPECT_EQ(std::string(now, n), dir.W("cwd"));
  EXPECT_EQ(GetCurrentDirectoryA(3, now), n + 1);  // too small: the size needed
  // Relative names now resolve inside.
  HANDLE h = Open("rel.txt", W, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(dir.Exists("cwd/rel.txt"));
  EXPECT_FALSE(SetCurrentDirectoryA("rel.txt"));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  ASSERT_TRUE(SetCurrentDirectoryA(saved));
}

TEST(TempFileName, FormatCreationAndUniqueness) {
  ScratchDir dir;
  char name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameA(dir.win().c_str(), "zipper", 0x1ABCD, name), 0x1ABCDu);
  EXPECT_EQ(std::string(name), dir.W("zipABCD.TMP"));
  EXPECT_FALSE(dir.Exists("zipABCD.TMP"));  // a given number only names the file

  // Many threads at once: every name distinct, every file created.
  std::vector<std::thread> threads;
  std::mutex lock;
  std::set<std::string> names;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        char buf[MAX_PATH];
        UINT u = GetTempFileNameA(dir.win().c_str(), "k3", 0, buf);
        if (u == 0 || u > 0xFFFF) ++failures;
        std::lock_guard<std::mutex> guard(lock);
        names.insert(buf);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(names.size(), 200u);
  for (const std::string& n : names) {
    std::string base = n.substr(dir.win().size() + 1);
    EXPECT_EQ(base.substr(0, 2), "k3");
    EXPECT_EQ(base.substr(base.size() - 4), ".TMP");
    EXPECT_TRUE(dir.Exists(base)) << base;
  }
  EXPECT_EQ(GetTempFileNameA(dir.W("none").c_str(), "x", 0, name), 0u);
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  std::string too_long(MAX_PATH - 13, 'a');
  EXPECT_EQ(GetTempFileNameA(too_long.c_str(), "x", 1, name), 0u);
  EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
}

}  // namespace
