// FormatMessageA with system messages.
#include <fstream>
#include <regex>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

std::string Message(DWORD id, DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS) {
  char buf[1024];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | flags, nullptr, id, 0, buf, sizeof buf,
                           nullptr);
  return n ? std::string(buf, n) : std::string("<none>");
}

TEST(FormatMessage, SystemTexts) {
  struct Case {
    DWORD id;
    const char* text;
  } cases[] = {
      {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
      {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
      {ERROR_SHARING_VIOLATION,
       "The process cannot access the file because it is being used by another process.\r\n"},
      {ERROR_DISK_FULL, "There is not enough space on the disk.\r\n"},
      {0x80070005u, "Access is denied.\r\n"},  // an HRESULT of a Win32 error
  };
  for (const Case& c : cases) EXPECT_EQ(Message(c.id), c.text) << c.id;
  EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, FORMAT_MESSAGE_IGNORE_INSERTS | 0xFF),
            "The system cannot find the file specified.");
  EXPECT_EQ(Message(ERROR_WRONG_DISK),
            "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into "
            "drive %1.\r\n");
}

TEST(FormatMessage, InsertsBuffersAndFailures) {
  DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>("A:"), reinterpret_cast<DWORD_PTR>("DISK2"),
                      reinterpret_cast<DWORD_PTR>("1234-ABCD")};
  char buf[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                           ERROR_WRONG_DISK, 0, buf, sizeof buf, reinterpret_cast<va_list*>(args));
  EXPECT_EQ(std::string(buf, n),
            "The wrong diskette is in the drive.\r\nInsert DISK2 (Volume Serial Number: "
            "1234-ABCD) into drive A:.\r\n");
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_WRONG_DISK, 0, buf,
                           sizeof buf, nullptr), 0u);  // inserts without arguments
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  LPSTR allocated = nullptr;
  n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, ERROR_ACCESS_DENIED, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                     reinterpret_cast<LPSTR>(&allocated), 0, nullptr);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(std::string(allocated, n), "Access is denied.\r\n");
  EXPECT_EQ(LocalFree(allocated), nullptr);

  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, buf, 5,
                           nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(Message(0xDEAD), "<none>");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, MAKELANGID(LANG_GERMAN, 1),
                           buf, sizeof buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "x", 0, 0, buf, sizeof buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

TEST(FormatMessage, EveryCodeOfWinerrorHasAText) {
  std::ifstream in(PS_SOURCE_DIR "/platform/win32/include/win32compat/winerror.h");
  ASSERT_TRUE(in);
  std::regex define(R"(#define\s+(ERROR_\w+|NO_ERROR)\s+(\d+)L)");
  std::string line;
  int codes = 0;
  while (std::getline(in, line)) {
    std::smatch m;
    if (!std::regex_search(line, m, define)) continue;
    ++codes;
    std::string text = Message(static_cast<DWORD>(std::stoul(m[2])));
    EXPECT_NE(text, "<none>") << m[1];
    EXPECT_TRUE(text.size() > 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) << m[1];
  }
  EXPECT_GT(codes, 50);
}

}  // namespace
