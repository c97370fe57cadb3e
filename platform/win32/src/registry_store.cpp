// Each call reads the root's file afresh under a lock on "<ROOT>.reg.lock" beside it,
// so that two processes sharing the directory serialise their changes and never lose
// one another's updates.  Writing goes to a temporary file in the same directory, which
// is synced and renamed over the old file: a crash at any point leaves either the old
// or the new file.  A damaged file is reported and never written over.
#include "registry_store.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "registry_text.h"
#include "res_format_utf.h"

namespace w32c {
namespace {

constexpr off_t kMaxFileSize = 64 << 20;  // far above any real registry file

std::string Ascii(const char16_t* s) {
  std::string out;
  for (; *s; ++s) out.push_back(static_cast<char>(*s));
  return out;
}

std::string FilePath(const std::string& dir, int root) { return dir + "/" + Ascii(RegRootName(root)) + ".reg"; }

bool MakeDirectories(const std::string& dir) {
  for (size_t slash = 1; slash != std::string::npos;) {
    slash = dir.find('/', slash + 1);
    std::string part = dir.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A lock held for the length of one registry call.
class FileLock {
 public:
  FileLock(const std::string& path, bool exclusive, bool create) {
    fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd_ < 0 && !create) fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

LONG Load(const std::string& path, int root, RegKey* tree) {
  tree->name = RegRootName(root);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return ERROR_REGISTRY_IO_FAILED;
  }
  if (st.st_size > kMaxFileSize) {
    close(fd);
    fprintf(stderr, "win32compat: registry file %s: too large to be a registry file\n", path.c_str());
    return ERROR_REGISTRY_CORRUPT;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  bytes.resize(got);
  int line = 0;
  std::string error;
  if (!ParseRegFile(bytes.data(), bytes.size(), RegRootName(root), tree, &line, &error)) {
    fprintf(stderr, "win32compat: registry file %s line %d: %s\n", path.c_str(), line, error.c_str());
    return ERROR_REGISTRY_CORRUPT;
  }
  return ERROR_SUCCESS;
}

// Temporary files of this root left by a process that died before its rename.  Only
// called under the exclusive lock, when no other writer can be between write and rename.
void RemoveStaleTemporaries(const std::string& dir, const std::string& prefix) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d))
    if (strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) unlinkat(dirfd(d), e->d_name, 0);
  closedir(d);
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

LONG Save(const std::string& dir, const std::string& path, int root, const RegKey& tree) {
  std::string prefix = "." + Ascii(RegRootName(root)) + ".reg.tmp";
  RemoveStaleTemporaries(dir, prefix);
  std::string temp = dir + "/" + prefix + "XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return ERROR_REGISTRY_IO_FAILED;
  struct stat old;
  bool ok = fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600) == 0 &&
            WriteAll(fd, FormatRegFile(tree, RegRootName(root))) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return ERROR_REGISTRY_IO_FAILED;
  }
  // The rename itself is durable once the directory is synced.
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return ERROR_SUCCESS;
}

}  // namespace

const char16_t* RegRootName(int root) {
  static const char16_t* const kNames[kRootCount] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",
                                                     u"HKEY_LOCAL_MACHINE", u"HKEY_USERS"};
  return kNames[root];
}

std::string RegistryDirectory() {
  const char* env = getenv("WIN32COMPAT_REGISTRY");
  if (env && *env) return env;
  std::string base;
  const char* xdg = getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = getpwuid(getuid());
      home = pw ? pw->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.config";
  }
  return base + "/win32compat/registry";
}

LONG ReadRoot(int root, const std::function<LONG(const RegKey&)>& read) {
  std::string dir = RegistryDirectory();
  std::string path = FilePath(dir, root);
  RegKey tree;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) {
    // The shared lock is taken when the lock file exists.  Without it no writer has run
    // here yet; and since writers replace the file by rename, a reader always sees one
    // whole file in any case.
    FileLock lock(path + ".lock", false, false);
    LONG r = Load(path, root, &tree);
    if (r != ERROR_SUCCESS) return r;
  } else {
    tree.name = RegRootName(root);
  }
  return read(tree);
}

LONG ChangeRoot(int root, const std::function<LONG(RegKey&, bool* changed)>& change) {
  std::string dir = RegistryDirectory();
  if (!MakeDirectories(dir)) return ERROR_REGISTRY_IO_FAILED;
  std::string path = FilePath(dir, root);
  FileLock lock(path + ".lock", true, true);
  if (!lock.held()) return ERROR_REGISTRY_IO_FAILED;
  RegKey tree;
  LONG r = Load(path, root, &tree);
  if (r != ERROR_SUCCESS) return r;
  bool changed = false;
  r = change(tree, &changed);
  if (r != ERROR_SUCCESS || !changed) return r;
  return Save(dir, path, root, tree);
}

}  // namespace w32c
