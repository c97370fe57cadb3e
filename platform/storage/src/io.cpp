#include "io.h"

#include <errno.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace cfb {

namespace {
std::atomic<int> g_fail_at{0};
std::atomic<int> g_count{0};

// True when the hook says this operation fails.
bool Injected() {
  int n = ++g_count;
  int at = g_fail_at.load();
  if (at != 0 && n >= at) {
    errno = EIO;
    return true;
  }
  return false;
}
}  // namespace

namespace testing {
void FailNthOperation(int n) {
  g_count = 0;
  g_fail_at = n;
}
int OperationCount() { return g_count; }
}  // namespace testing

bool MemorySource::ReadAt(uint64_t off, void* dst, size_t n) const {
  if (off > bytes_.size() || n > bytes_.size() - off) return false;
  if (n) std::memcpy(dst, bytes_.data() + off, n);
  return true;
}

FileSource::FileSource(int fd) : fd_(fd), size_(0) {
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size > 0) size_ = uint64_t(st.st_size);
}

FileSource::~FileSource() {
  if (fd_ >= 0) close(fd_);
}

bool FileSource::ReadAt(uint64_t off, void* dst, size_t n) const {
  if (off > size_ || n > size_ - off) return false;
  auto* p = static_cast<uint8_t*>(dst);
  while (n > 0) {
    ssize_t r = pread(fd_, p, n, off_t(off));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    off += uint64_t(r);
    n -= size_t(r);
  }
  return true;
}

namespace io {
bool WriteAll(int fd, const void* p, size_t n) {
  if (Injected()) return false;
  auto* b = static_cast<const uint8_t*>(p);
  while (n > 0) {
    ssize_t r = write(fd, b, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    b += r;
    n -= size_t(r);
  }
  return true;
}
bool Fsync(int fd) {
  if (Injected()) return false;
  return fsync(fd) == 0;
}
bool Rename(const std::string& from, const std::string& to) {
  if (Injected()) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}
bool Lock(int fd, bool exclusive) {
  // flock locks belong to the open file description, so two opens in one process
  // exclude each other as two processes do.
  int r;
  do {
    r = flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}
}  // namespace io

bool FileSink::Raw(const void* p, size_t n) {
  if (error_) return false;
  if (!io::WriteAll(fd_, p, n)) {
    error_ = errno ? errno : EIO;
    return false;
  }
  return true;
}

bool FileSink::Write(const void* p, size_t n) {
  if (error_) return false;
  if (buf_.size() + n > kBuffer) {
    if (!Flush()) return false;
    if (n >= kBuffer) return Raw(p, n);  // large blocks go straight out
  }
  auto* b = static_cast<const uint8_t*>(p);
  buf_.insert(buf_.end(), b, b + n);
  return true;
}

bool FileSink::Zeros(size_t n) {
  static const uint8_t zero[4096] = {};
  while (n > 0) {
    size_t k = n < sizeof zero ? n : sizeof zero;
    if (!Write(zero, k)) return false;
    n -= k;
  }
  return true;
}

bool FileSink::Flush() {
  if (buf_.empty()) return error_ == 0;
  bool ok = Raw(buf_.data(), buf_.size());
  buf_.clear();
  return ok;
}

bool FileSink::Sync() {
  if (!Flush()) return false;
  if (!io::Fsync(fd_)) {
    error_ = errno ? errno : EIO;
    return false;
  }
  return true;
}

}  // namespace cfb
