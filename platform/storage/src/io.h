// Byte access below the format: sources the reader pulls sectors from (a file or a block of
// memory), the POSIX file operations of a commit, and the hook that makes the n-th of them
// fail so that tests can check a failing commit leaves the old file intact.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cfb {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly n bytes at off; false when they are not all there or the read fails.
  virtual bool ReadAt(uint64_t off, void* dst, size_t n) const = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t off, void* dst, size_t n) const override;

 private:
  std::vector<uint8_t> bytes_;
};

// Owns the descriptor; closing it drops the lock taken on it.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(int fd);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t off, void* dst, size_t n) const override;
  int fd() const { return fd_; }

 private:
  int fd_;
  uint64_t size_;
};

// Writes through a buffer to a descriptor; every write(2) and fsync(2) goes through the
// fault hook.  After the first failure every later call fails too.
class FileSink {
 public:
  explicit FileSink(int fd) : fd_(fd) { buf_.reserve(kBuffer); }
  bool Write(const void* p, size_t n);
  bool Zeros(size_t n);
  bool Flush();
  bool Sync();
  int error() const { return error_; }

 private:
  static constexpr size_t kBuffer = 1 << 20;
  bool Raw(const void* p, size_t n);
  int fd_;
  std::vector<uint8_t> buf_;
  int error_ = 0;
};

namespace io {
// Each returns false (errno set) when it or the fault hook fails.
bool WriteAll(int fd, const void* p, size_t n);
bool Fsync(int fd);
bool Rename(const std::string& from, const std::string& to);
// Takes the sharing lock of an open file without waiting: exclusive, or shared with other
// readers.  False when somebody else holds a conflicting one.
bool Lock(int fd, bool exclusive);
}  // namespace io

namespace testing {
// Makes the n-th file operation of commits from now on fail (1 = the next one); 0 disarms.
void FailNthOperation(int n);
// The number of file operations since the hook was last armed.
int OperationCount();
}  // namespace testing

}  // namespace cfb
