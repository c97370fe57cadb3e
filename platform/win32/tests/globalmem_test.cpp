// Global memory: movable handles, lock counts, reallocation that moves, stale handles.
#include <string.h>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(GlobalMemory, MovableHandlesAndLockCounts) {
  HGLOBAL h = GlobalAlloc(GHND, 100);
  ASSERT_NE(h, nullptr);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_NE(static_cast<void*>(p), static_cast<void*>(h));  // a handle is not the pointer
  for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0) << i;    // GHND zeroes
  EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 1u);
  EXPECT_EQ(GlobalLock(h), p);
  EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 2u);
  EXPECT_EQ(GlobalHandle(p), h);
  EXPECT_EQ(GlobalSize(h), 100u);
  EXPECT_TRUE(GlobalUnlock(h));  // still locked once
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  EXPECT_FALSE(GlobalUnlock(h));  // not locked any more
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, FixedBlocksAreTheirPointers) {
  HGLOBAL h = GlobalAlloc(GPTR, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalLock(h), static_cast<void*>(h));
  EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 0u);
  EXPECT_EQ(GlobalSize(h), 16u);
  EXPECT_EQ(GlobalHandle(h), h);
  HLOCAL l = LocalAlloc(LPTR, 8);
  EXPECT_EQ(LocalSize(l), 8u);
  EXPECT_EQ(LocalFree(l), nullptr);
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, ReallocationMovesUnlockedBlocksAndKeepsData) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 10);
  char* p = static_cast<char*>(GlobalLock(h));
  memcpy(p, "0123456789", 10);
  // Locked: may not move without GMEM_MOVEABLE; shrinking in place is fine.
  EXPECT_EQ(GlobalReAlloc(h, 1 << 20, 0), nullptr);
  EXPECT_EQ(GlobalReAlloc(h, 8, 0), h);
  EXPECT_EQ(GlobalLock(h), p);
  GlobalUnlock(h);
  GlobalUnlock(h);
  // Unlocked: the same handle, the data moved.
  ASSERT_EQ(GlobalReAlloc(h, 1 << 16, GMEM_ZEROINIT), h);
  char* q = static_cast<char*>(GlobalLock(h));
  EXPECT_NE(q, p);
  EXPECT_EQ(memcmp(q, "01234567", 8), 0);
  EXPECT_EQ(q[8], 0);
  EXPECT_EQ(q[(1 << 16) - 1], 0);
  EXPECT_EQ(GlobalSize(h), static_cast<SIZE_T>(1 << 16));
  GlobalUnlock(h);
  // A fixed block grows only when it may move, and gets a new address.
  HGLOBAL f = GlobalAlloc(GMEM_FIXED, 4);
  memcpy(f, "abcd", 4);
  EXPECT_EQ(GlobalReAlloc(f, 4096, 0), nullptr);
  HGLOBAL g = GlobalReAlloc(f, 4096, GMEM_MOVEABLE);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(memcmp(g, "abcd", 4), 0);
  EXPECT_EQ(GlobalFree(g), nullptr);
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, StaleAndMadeUpHandlesAreReported) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 32);
  ASSERT_EQ(GlobalFree(h), nullptr);
  int local = 0;
  for (HGLOBAL bad : {h, static_cast<HGLOBAL>(&local), reinterpret_cast<HGLOBAL>(0x4444)}) {
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(GlobalFlags(bad), GMEM_INVALID_HANDLE);
    EXPECT_EQ(GlobalFree(bad), bad);  // failure returns the handle
    EXPECT_EQ(GlobalReAlloc(bad, 10, GMEM_MOVEABLE), nullptr);
  }
  // A new block never takes a freed handle's value.
  HGLOBAL next = GlobalAlloc(GMEM_MOVEABLE, 32);
  EXPECT_NE(next, h);
  GlobalFree(next);
  EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, SIZE_T(1) << 33), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(GlobalAlloc(0x80000000u, 4), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
