// Thread-local storage, critical sections, interlocked operations, executable memory and
// system information.
#include <string.h>

#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(Tls, ValuesPerThreadAndFreshIndexes) {
  DWORD index = TlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  int a = 1, b = 2;
  EXPECT_TRUE(TlsSetValue(index, &a));
  void* seen_in_thread = &b;
  std::thread([&] {
    seen_in_thread = TlsGetValue(index);  // another thread starts with NULL
    TlsSetValue(index, &b);
  }).join();
  EXPECT_EQ(seen_in_thread, nullptr);
  EXPECT_EQ(TlsGetValue(index), &a);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(TlsFree(index));
  EXPECT_FALSE(TlsFree(index));
  EXPECT_EQ(TlsGetValue(index), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  DWORD again = TlsAlloc();
  EXPECT_EQ(TlsGetValue(again), nullptr);  // an old value does not come back
  TlsFree(again);
  EXPECT_FALSE(TlsSetValue(5000, &a));

  std::vector<DWORD> all;
  for (DWORD i; (i = TlsAlloc()) != TLS_OUT_OF_INDEXES;) all.push_back(i);
  EXPECT_GE(all.size(), static_cast<size_t>(TLS_MINIMUM_AVAILABLE));
  for (DWORD i : all) TlsFree(i);
}

TEST(CriticalSection, RecursiveAndExclusive) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));  // recursive in the owner
  BOOL other = TRUE;
  std::thread([&] { other = TryEnterCriticalSection(&cs); }).join();
  EXPECT_FALSE(other);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);

  LONG counter = 0;
  long plain = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        InterlockedIncrement(&counter);
        EnterCriticalSection(&cs);
        ++plain;
        LeaveCriticalSection(&cs);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
  EXPECT_EQ(plain, 40000);
  EXPECT_EQ(InterlockedExchange(&counter, 5), 40000);
  EXPECT_EQ(InterlockedDecrement(&counter), 4);
  EXPECT_EQ(InterlockedCompareExchange(&counter, 9, 4), 4);
  EXPECT_EQ(counter, 9);
  DeleteCriticalSection(&cs);

  CRITICAL_SECTION zeroed;  // never initialised, but zeroed: usable
  memset(&zeroed, 0, sizeof zeroed);
  EnterCriticalSection(&zeroed);
  LeaveCriticalSection(&zeroed);
  DeleteCriticalSection(&zeroed);
}

TEST(VirtualMemory, ExecutableStub) {
  void* p = VirtualAlloc(nullptr, 100, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(p, nullptr);
#if defined(__x86_64__) || defined(__i386__)
  const unsigned char code[] = {0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3};  // mov eax, 42; ret
  memcpy(p, code, sizeof code);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(p, sizeof code, PAGE_EXECUTE_READ, &old));
  EXPECT_EQ(old, static_cast<DWORD>(PAGE_READWRITE));
  FlushInstructionCache(GetCurrentProcess(), p, sizeof code);
  EXPECT_EQ(reinterpret_cast<int (*)()>(p)(), 42);
#endif
  EXPECT_FALSE(VirtualFree(p, 100, MEM_RELEASE));  // release takes size 0
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));
  DWORD old_protect;
  EXPECT_FALSE(VirtualProtect(p, 1, PAGE_READONLY, &old_protect));
  EXPECT_EQ(VirtualAlloc(nullptr, 10, MEM_COMMIT, 0x104 /*READWRITE|GUARD*/), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));

  char* r = static_cast<char*>(VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(VirtualAlloc(r + 4096, 10, MEM_COMMIT, PAGE_READWRITE), r + 4096);
  r[4096] = 1;
  EXPECT_TRUE(VirtualFree(r, 0, MEM_RELEASE));
}

TEST(System, VersionEnvironmentAndName) {
  OSVERSIONINFOA v;
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_TRUE(GetVersionExA(&v));
  EXPECT_EQ(v.dwMajorVersion, 5u);
  EXPECT_EQ(v.dwMinorVersion, 1u);
  EXPECT_EQ(v.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  v.dwOSVersionInfoSize = 12;
  EXPECT_FALSE(GetVersionExA(&v));

  SYSTEM_INFO si;
  GetSystemInfo(&si);
  EXPECT_GT(si.dwPageSize, 0u);
  EXPECT_GE(si.dwNumberOfProcessors, 1u);

  ASSERT_TRUE(SetEnvironmentVariableA("K32_TEST_VAR", "value"));
  char buf[16];
  EXPECT_EQ(GetEnvironmentVariableA("K32_TEST_VAR", buf, sizeof buf), 5u);
  EXPECT_STREQ(buf, "value");
  EXPECT_EQ(GetEnvironmentVariableA("k32_test_var", buf, sizeof buf), 5u);  // any case
  EXPECT_EQ(GetEnvironmentVariableA("K32_TEST_VAR", buf, 3), 6u);          // size needed
  ASSERT_TRUE(SetEnvironmentVariableA("K32_TEST_VAR", nullptr));
  EXPECT_EQ(GetEnvironmentVariableA("K32_TEST_VAR", buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));

  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_EQ(size, strlen(name));
  EXPECT_LE(size, static_cast<DWORD>(MAX_COMPUTERNAME_LENGTH));
  DWORD tiny = 1;
  EXPECT_FALSE(GetComputerNameA(name, &tiny));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(tiny, size + 1);
}

}  // namespace
