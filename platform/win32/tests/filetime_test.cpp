// FILETIME, SYSTEMTIME and DOS date-time conversions, local time and the clocks.
#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

ULONGLONG Ticks(const FILETIME& ft) {
  return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
FILETIME FromTicks(ULONGLONG t) {
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}
WORD DosDate(int y, int m, int d) { return static_cast<WORD>(((y - 1980) << 9) | (m << 5) | d); }
WORD DosTime(int h, int m, int s) { return static_cast<WORD>((h << 11) | (m << 5) | (s / 2)); }

TEST(SystemTime, KnownInstants) {
  struct Case {
    ULONGLONG ticks;
    SYSTEMTIME st;  // year, month, day of week, day, hour, minute, second, ms
  } cases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},                       // a Monday
      {116444736000000000ull, {1970, 1, 4, 1, 0, 0, 0, 0}},   // a Thursday
      {125911584000000000ull, {2000, 1, 6, 1, 0, 0, 0, 0}},   // a Saturday
      {125911584000000000ull + 59 * 864000000000ull + 12345678, {2000, 2, 2, 29, 0, 0, 1, 234}},
      {0x7FFFFFFFFFFFFFFFull, {30828, 9, 4, 14, 2, 48, 5, 477}},
  };
  for (const Case& c : cases) {
    FILETIME ft = FromTicks(c.ticks);
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << c.ticks;
    EXPECT_EQ(st.wYear, c.st.wYear);
    EXPECT_EQ(st.wMonth, c.st.wMonth);
    EXPECT_EQ(st.wDayOfWeek, c.st.wDayOfWeek) << c.ticks;
    EXPECT_EQ(st.wDay, c.st.wDay);
    EXPECT_EQ(st.wHour, c.st.wHour);
    EXPECT_EQ(st.wMinute, c.st.wMinute);
    EXPECT_EQ(st.wSecond, c.st.wSecond);
    EXPECT_EQ(st.wMilliseconds, c.st.wMilliseconds);
    if (c.st.wYear <= 30827) {
      FILETIME back;
      ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
      EXPECT_EQ(Ticks(back), c.ticks - c.ticks % 10000);  // milliseconds survive, not less
    }
  }
  FILETIME negative = FromTicks(0x8000000000000000ull);
  SYSTEMTIME st;
  EXPECT_FALSE(FileTimeToSystemTime(&negative, &st));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SystemTime, InvalidFieldsAreRefused) {
  const SYSTEMTIME bad[] = {
      {1600, 12, 0, 31, 0, 0, 0, 0}, {2001, 0, 0, 1, 0, 0, 0, 0},   {2001, 13, 0, 1, 0, 0, 0, 0},
      {2001, 2, 0, 29, 0, 0, 0, 0},  {2000, 4, 0, 31, 0, 0, 0, 0},  {2000, 1, 0, 0, 0, 0, 0, 0},
      {2000, 1, 0, 1, 24, 0, 0, 0},  {2000, 1, 0, 1, 0, 60, 0, 0},  {2000, 1, 0, 1, 0, 0, 60, 0},
      {2000, 1, 0, 1, 0, 0, 0, 1000},
  };
  for (const SYSTEMTIME& st : bad) {
    FILETIME ft;
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft)) << st.wYear << "-" << st.wMonth << "-" << st.wDay;
  }
  SYSTEMTIME leap{2000, 2, 0, 29, 0, 0, 0, 0};
  FILETIME ft;
  EXPECT_TRUE(SystemTimeToFileTime(&leap, &ft));
}

TEST(DosDateTime, FromFileTime) {
  struct Case {
    SYSTEMTIME st;
    bool ok;
    WORD date, time;
  } cases[] = {
      {{1980, 1, 0, 1, 0, 0, 0, 0}, true, 0x0021, 0x0000},        // the first DOS instant
      {{2107, 12, 0, 31, 23, 59, 59, 999}, true, 0xFF9F, 0xBF7D},  // the last
      {{1979, 12, 0, 31, 23, 59, 59, 0}, false, 0, 0},
      {{2108, 1, 0, 1, 0, 0, 0, 0}, false, 0, 0},
      {{2004, 6, 0, 15, 12, 34, 57, 0}, true, DosDate(2004, 6, 15), DosTime(12, 34, 56)},  // odd
      {{2004, 6, 0, 15, 12, 34, 56, 0}, true, DosDate(2004, 6, 15), DosTime(12, 34, 56)},
      {{2000, 2, 0, 29, 1, 2, 3, 0}, true, DosDate(2000, 2, 29), DosTime(1, 2, 2)},
  };
  for (const Case& c : cases) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft));
    WORD date = 0xAAAA, time = 0xAAAA;
    EXPECT_EQ(FileTimeToDosDateTime(&ft, &date, &time) != FALSE, c.ok) << c.st.wYear;
    if (c.ok) {
      EXPECT_EQ(date, c.date) << c.st.wYear;
      EXPECT_EQ(time, c.time) << c.st.wYear;
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
  }
}

TEST(DosDateTime, ToFileTimeRefusesImpossibleFields) {
  struct Case {
    WORD date, time;
  } bad[] = {
      {DosDate(1990, 0, 1), 0},   {DosDate(1990, 13, 1), 0},        {DosDate(1990, 1, 0), 0},
      {DosDate(1990, 2, 29), 0},  {DosDate(1990, 4, 31), 0},        {DosDate(1990, 1, 1), 24 << 11},
      {DosDate(1990, 1, 1), 60 << 5}, {DosDate(1990, 1, 1), 30 /* 60 s */},
  };
  for (const Case& c : bad) {
    FILETIME ft;
    EXPECT_FALSE(DosDateTimeToFileTime(c.date, c.time, &ft)) << c.date << " " << c.time;
  }
}

TEST(DosDateTime, EveryDayRoundTrips) {
  // Every day of the DOS range at a few times of day: to FILETIME and back unchanged.
  const WORD times[] = {DosTime(0, 0, 0), DosTime(12, 30, 58), DosTime(23, 59, 58)};
  int days = 0;
  for (int y = 1980; y <= 2107; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= 31; ++d) {
        WORD date = DosDate(y, m, d);
        FILETIME ft;
        if (!DosDateTimeToFileTime(date, 0, &ft)) continue;  // no such day
        ++days;
        for (WORD t : times) {
          ASSERT_TRUE(DosDateTimeToFileTime(date, t, &ft));
          WORD d2, t2;
          ASSERT_TRUE(FileTimeToDosDateTime(&ft, &d2, &t2));
          ASSERT_EQ(d2, date) << y << "-" << m << "-" << d;
          ASSERT_EQ(t2, t);
        }
      }
  EXPECT_EQ(days, 46751);  // 1980-01-01 .. 2107-12-31
}

class LocalTime : public testing::Test {
 protected:
  void SetUp() override {
    const char* tz = getenv("TZ");
    had_ = tz != nullptr;
    if (tz) old_ = tz;
  }
  void TearDown() override {
    if (had_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  bool had_ = false;
  std::string old_;
};

TEST_F(LocalTime, UsesTheCurrentBiasBothWays) {
  struct Case {
    const char* tz;
    LONGLONG offset_seconds;
  } cases[] = {{"UTC0", 0}, {"XST-2", 7200}, {"YST+5:30", -19800}};
  for (const Case& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    SYSTEMTIME st{1999, 7, 0, 1, 12, 0, 0, 0};
    FILETIME utc, local, back;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &utc));
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(static_cast<LONGLONG>(Ticks(local) - Ticks(utc)), c.offset_seconds * 10000000)
        << c.tz;
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(Ticks(back), Ticks(utc));
  }
  FILETIME zero = FromTicks(0), out;
  setenv("TZ", "YST+5", 1);
  tzset();
  EXPECT_FALSE(FileTimeToLocalFileTime(&zero, &out));  // would be before 1601
}

TEST(Clocks, AgreeWithTheSystem) {
  SYSTEMTIME st;
  GetSystemTime(&st);
  time_t now = time(nullptr);
  struct tm tm;
  gmtime_r(&now, &tm);
  EXPECT_EQ(st.wYear, tm.tm_year + 1900);
  EXPECT_EQ(st.wDayOfWeek, tm.tm_wday);
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  LONGLONG unix_seconds = static_cast<LONGLONG>((Ticks(ft) - 116444736000000000ull) / 10000000);
  EXPECT_LE(std::llabs(unix_seconds - static_cast<LONGLONG>(now)), 2);
  GetLocalTime(&st);
  EXPECT_GE(st.wYear, 2020);
  DWORD before = GetTickCount();
  Sleep(30);
  EXPECT_GE(GetTickCount() - before, 30u);
}

}  // namespace
