// FILETIME (100 ns ticks since 1601-01-01 UTC), SYSTEMTIME, DOS date-times and clocks.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include "paths.h"

namespace w32c {
namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000ull;
constexpr ULONGLONG kTicksPerDay = 86400ull * kTicksPerSecond;
constexpr ULONGLONG kUnixEpoch = 116444736000000000ull;  // 1970-01-01 in ticks
constexpr LONGLONG kDaysTo1970 = 134774;                  // 1601-01-01 to 1970-01-01

ULONGLONG Ticks(const FILETIME& ft) {
  return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
FILETIME FromTicks(ULONGLONG t) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  return ft;
}

bool IsLeap(LONGLONG y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(LONGLONG y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (era arithmetic over
// 400-year cycles of 146097 days).
LONGLONG DaysFromCivil(LONGLONG y, unsigned m, unsigned d) {
  y -= m <= 2;
  LONGLONG era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<LONGLONG>(doe) - 719468;
}
void CivilFromDays(LONGLONG z, LONGLONG* y, unsigned* m, unsigned* d) {
  z += 719468;
  LONGLONG era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = static_cast<unsigned>(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<LONGLONG>(yoe) + era * 400 + (*m <= 2);
}

// The current offset of local time from UTC, in seconds.
LONGLONG CurrentBias() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return local.tm_gmtoff;
}

ULONGLONG NowTicks() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return Ticks(FileTimeFromTimespec(ts));
}

bool ShiftTicks(const FILETIME* in, LONGLONG seconds, LPFILETIME out) {
  if (!in || !out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  ULONGLONG t = Ticks(*in);
  LONGLONG delta = seconds * static_cast<LONGLONG>(kTicksPerSecond);
  if ((delta < 0 && t < static_cast<ULONGLONG>(-delta)) ||
      (delta > 0 && t > 0x7FFFFFFFFFFFFFFFull - static_cast<ULONGLONG>(delta))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  *out = FromTicks(t + delta);
  return true;
}

}  // namespace

FILETIME FileTimeFromTimespec(const struct timespec& ts) {
  LONGLONG t = static_cast<LONGLONG>(kUnixEpoch) +
               static_cast<LONGLONG>(ts.tv_sec) * static_cast<LONGLONG>(kTicksPerSecond) +
               ts.tv_nsec / 100;
  return FromTicks(t < 0 ? 0 : static_cast<ULONGLONG>(t));
}

struct timespec TimespecFromFileTime(const FILETIME& ft) {
  LONGLONG t = static_cast<LONGLONG>(Ticks(ft) & 0x7FFFFFFFFFFFFFFFull) -
               static_cast<LONGLONG>(kUnixEpoch);
  LONGLONG sec = t / static_cast<LONGLONG>(kTicksPerSecond);
  LONGLONG rem = t % static_cast<LONGLONG>(kTicksPerSecond);
  if (rem < 0) {
    rem += kTicksPerSecond;
    --sec;
  }
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(sec);
  ts.tv_nsec = static_cast<long>(rem * 100);
  return ts;
}

void FileTimesOf(int fd, const std::string& posix_path, const struct stat& st,
                 FILETIME* creation, FILETIME* access, FILETIME* write) {
  if (access) *access = FileTimeFromTimespec(st.st_atim);
  if (write) *write = FileTimeFromTimespec(st.st_mtim);
  if (!creation) return;
  *creation = FileTimeFromTimespec(st.st_mtim);
  struct statx sx;
  int r = fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx)
                  : statx(AT_FDCWD, posix_path.c_str(), 0, STATX_BTIME, &sx);
  if (r == 0 && (sx.stx_mask & STATX_BTIME)) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(sx.stx_btime.tv_sec);
    ts.tv_nsec = static_cast<long>(sx.stx_btime.tv_nsec);
    *creation = FileTimeFromTimespec(ts);
  }
}

}  // namespace w32c

using namespace w32c;

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  return ShiftTicks(lpFileTime, CurrentBias(), lpLocalFileTime) ? TRUE : FALSE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
  return ShiftTicks(lpLocalFileTime, -CurrentBias(), lpFileTime) ? TRUE : FALSE;
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime || (lpFileTime->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ULONGLONG t = Ticks(*lpFileTime);
  LONGLONG days = static_cast<LONGLONG>(t / kTicksPerDay);
  ULONGLONG in_day = t % kTicksPerDay;
  LONGLONG y;
  unsigned m, d;
  CivilFromDays(days - kDaysTo1970, &y, &m, &d);
  lpSystemTime->wYear = static_cast<WORD>(y);
  lpSystemTime->wMonth = static_cast<WORD>(m);
  lpSystemTime->wDay = static_cast<WORD>(d);
  lpSystemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  ULONGLONG seconds = in_day / kTicksPerSecond;
  lpSystemTime->wHour = static_cast<WORD>(seconds / 3600);
  lpSystemTime->wMinute = static_cast<WORD>(seconds / 60 % 60);
  lpSystemTime->wSecond = static_cast<WORD>(seconds % 60);
  lpSystemTime->wMilliseconds = static_cast<WORD>(in_day % kTicksPerSecond / 10000);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME lpFileTime) {
  if (!st || !lpFileTime || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 ||
      st->wMonth > 12 || st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) ||
      st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  LONGLONG days = DaysFromCivil(st->wYear, st->wMonth, st->wDay) + kDaysTo1970;
  ULONGLONG t = static_cast<ULONGLONG>(days) * kTicksPerDay +
                (st->wHour * 3600ull + st->wMinute * 60ull + st->wSecond) * kTicksPerSecond +
                st->wMilliseconds * 10000ull;
  *lpFileTime = FromTicks(t);
  return TRUE;
}

BOOL FileTimeToDosDateTime(const FILETIME* lpFileTime, LPWORD lpFatDate, LPWORD lpFatTime) {
  SYSTEMTIME st;
  if (!lpFatDate || !lpFatTime || !FileTimeToSystemTime(lpFileTime, &st) || st.wYear < 1980 ||
      st.wYear > 2107) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpFatDate = static_cast<WORD>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
  *lpFatTime = static_cast<WORD>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
  return TRUE;
}

BOOL DosDateTimeToFileTime(WORD wFatDate, WORD wFatTime, LPFILETIME lpFileTime) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(1980 + (wFatDate >> 9));
  st.wMonth = static_cast<WORD>((wFatDate >> 5) & 15);
  st.wDay = static_cast<WORD>(wFatDate & 31);
  st.wHour = static_cast<WORD>(wFatTime >> 11);
  st.wMinute = static_cast<WORD>((wFatTime >> 5) & 63);
  st.wSecond = static_cast<WORD>((wFatTime & 31) * 2);
  return SystemTimeToFileTime(&st, lpFileTime);
}

LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2) {
  ULONGLONG a = Ticks(*lpFileTime1), b = Ticks(*lpFileTime2);
  return a < b ? -1 : a > b ? 1 : 0;
}

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  *lpSystemTimeAsFileTime = FromTicks(NowTicks());
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  FILETIME ft = FromTicks(NowTicks());
  FileTimeToSystemTime(&ft, lpSystemTime);
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  FILETIME utc = FromTicks(NowTicks()), local;
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  FileTimeToSystemTime(&local, lpSystemTime);
}

ULONGLONG GetTickCount64(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000ull + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000ull;
}

DWORD GetTickCount(void) { return static_cast<DWORD>(GetTickCount64()); }
