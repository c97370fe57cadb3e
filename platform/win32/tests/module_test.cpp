// Loading modules, exports by name and by ordinal, module entry calls.
#include <dlfcn.h>
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

const std::string kPath = W32C_TESTMOD_PATH;

std::string DirOf(const std::string& p) { return p.substr(0, p.rfind('/')); }

template <class F>
F Bind(HMODULE m, LPCSTR name) {
  // Through void (*)(): the documented way to cast between function pointer types.
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA(kPath.c_str());
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
};

TEST_F(ModuleTest, NamesAndOrdinalsOfTheExportTableAgree) {
  struct Case {
    const char* name;
    WORD ordinal;
  } cases[] = {{"DllMain", 1}, {"TestAttachCount", 3}, {"TestThreadCounts", 4},
               {"TestDisableThreadCalls", 5}, {"TestAdd", 7}};
  for (const Case& c : cases) {
    FARPROC by_name = GetProcAddress(module_, c.name);
    FARPROC by_ordinal = GetProcAddress(module_, MAKEINTRESOURCEA(c.ordinal));
    EXPECT_NE(by_name, nullptr) << c.name;
    EXPECT_EQ(by_name, by_ordinal) << c.name;
  }
  auto add = Bind<int (*)(int, int)>(module_, MAKEINTRESOURCEA(7));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(20, 22), 42);
  // An export without an ordinal is found by name only.
  auto unnumbered = Bind<int (*)()>(module_, "TestUnnumbered");
  ASSERT_NE(unnumbered, nullptr);
  EXPECT_EQ(unnumbered(), 42);
}

TEST_F(ModuleTest, WhatTheTableDoesNotListIsNotFound) {
  struct Case {
    LPCSTR proc;
    const char* why;
  } cases[] = {
      {"TestHidden", "defined in the module but not in its export table"},
      {"GetLastError", "exported by a library the module depends on"},
      {"NoSuchExport", "not defined anywhere"},
      {MAKEINTRESOURCEA(2), "an ordinal the table does not use"},
      {MAKEINTRESOURCEA(0), "ordinal zero"},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module_, c.proc), nullptr) << c.why;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << c.why;
  }
  // The linker exports nothing else either.
  void* dl = dlopen(kPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(dl, nullptr);
  EXPECT_EQ(dlsym(dl, "TestHidden"), nullptr);
  EXPECT_NE(dlsym(dl, "TestAdd"), nullptr);
  dlclose(dl);
}

TEST_F(ModuleTest, ModuleEntrySeesTheProcessAttachOnce) {
  auto count = Bind<int (*)()>(module_, "TestAttachCount");
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count(), 1);
  HMODULE again = LoadLibraryA(kPath.c_str());
  EXPECT_EQ(again, module_);
  EXPECT_EQ(count(), 1);
  EXPECT_TRUE(FreeLibrary(again));
}

TEST_F(ModuleTest, LoadCountsAreKeptAndStaleHandlesRefused) {
  HMODULE second = LoadLibraryA(kPath.c_str());
  ASSERT_EQ(second, module_);
  EXPECT_TRUE(FreeLibrary(second));
  EXPECT_NE(GetProcAddress(module_, "TestAdd"), nullptr);  // still loaded once
  EXPECT_TRUE(FreeLibrary(module_));
  module_ = nullptr;
  EXPECT_FALSE(FreeLibrary(second));
  // Random values are not modules.
  HMODULE bogus = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x12345678));
  EXPECT_EQ(GetProcAddress(bogus, "TestAdd"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FreeLibrary(bogus));
}

TEST_F(ModuleTest, ModulesAreFoundByTheirNames) {
  const char* names[] = {"TestMod", "testmod.dll", "libw32c_testmod.so", "w32c_testmod.dll",
                         "LIBW32C_TESTMOD.SO"};
  for (const char* n : names) EXPECT_EQ(GetModuleHandleA(n), module_) << n;
  EXPECT_EQ(GetModuleHandleA("NotLoaded.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  HMODULE from_address = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                 reinterpret_cast<LPCSTR>(GetProcAddress(module_, "TestAdd")),
                                 &from_address));
  EXPECT_EQ(from_address, module_);
  HMODULE program = GetModuleHandleA(nullptr);
  EXPECT_NE(program, nullptr);
  EXPECT_NE(program, module_);
}

TEST_F(ModuleTest, FileNamesAreGivenInTheSystemForm) {
  char name[1024];
  DWORD n = GetModuleFileNameA(module_, name, sizeof name);
  std::string expected = "C:" + kPath;
  for (char& c : expected)
    if (c == '/') c = '\\';
  ASSERT_EQ(n, expected.size());
  EXPECT_EQ(std::string(name), expected);
  // Too small a buffer: truncated and terminated, the buffer size returned.
  char small[8];
  EXPECT_EQ(GetModuleFileNameA(module_, small, sizeof small), sizeof small);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(small), expected.substr(0, 7));
}

TEST(ModuleSearch, BareAndSystemStyleNamesAreResolved) {
  setenv("WIN32COMPAT_PATH", DirOf(kPath).c_str(), 1);
  std::string windows_path = "C:" + kPath;
  for (char& c : windows_path)
    if (c == '/') c = '\\';
  struct Case {
    std::string name;
    bool found;
  } cases[] = {{"w32c_testmod.dll", true},     {"W32C_TESTMOD.DLL", true},
               {"w32c_testmod", true},         {windows_path, true},
               {"missing.dll", false},         {DirOf(kPath) + "/missing.so", false}};
  for (const Case& c : cases) {
    SetLastError(0);
    HMODULE m = LoadLibraryA(c.name.c_str());
    EXPECT_EQ(m != nullptr, c.found) << c.name;
    if (m) {
      EXPECT_TRUE(FreeLibrary(m));
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << c.name;
    }
  }
  unsetenv("WIN32COMPAT_PATH");
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(LoadLibraryA(""), nullptr);
}

TEST(ModuleEntry, ARefusedProcessAttachFailsTheLoad) {
  if (GetModuleHandleA("TestMod")) GTEST_SKIP() << "module already loaded in this process";
  setenv("W32C_TESTMOD_REFUSE", "1", 1);
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(kPath.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  unsetenv("W32C_TESTMOD_REFUSE");
  HMODULE m = LoadLibraryA(kPath.c_str());
  ASSERT_NE(m, nullptr);
  auto count = Bind<int (*)()>(m, "TestAttachCount");
  EXPECT_EQ(count(), 1);
  FreeLibrary(m);
}

DWORD Noop(LPVOID parameter) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter)); }

TEST_F(ModuleTest, ThreadsAttachAndDetachUntilTheModuleOptsOut) {
  auto counts = Bind<int (*)()>(module_, "TestThreadCounts");
  auto opt_out = Bind<int (*)(HMODULE)>(module_, "TestDisableThreadCalls");
  ASSERT_TRUE(counts && opt_out);
  int before = counts();
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, Noop, reinterpret_cast<LPVOID>(7), 0, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(counts(), before + 101);

  EXPECT_TRUE(opt_out(module_));
  HANDLE t2 = CreateThread(nullptr, 0, Noop, nullptr, 0, nullptr);
  ASSERT_NE(t2, nullptr);
  EXPECT_EQ(WaitForSingleObject(t2, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(counts(), before + 101);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

TEST(DataFiles, OnlyPortableExecutablesOpenAsData) {
  // A shared object of ours is no PE file: it has no resource section to read.
  EXPECT_EQ(LoadLibraryExA(kPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(LoadLibraryExA(kPath.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

}  // namespace
