// A scratch directory for the kernel tests, under the build tree, removed afterwards, with
// its Windows name for the calls under test.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <win32compat/drives.h>
#include <windows.h>

class ScratchDir {
 public:
  ScratchDir() {
    std::filesystem::create_directories(PS_BINARY_DIR "/k32-scratch");
    std::string pattern = PS_BINARY_DIR "/k32-scratch/t-XXXXXX";
    char* made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    posix_ = std::filesystem::canonical(made).string();
    char win[1024];
    DWORD n = Win32CompatToWindowsPath(posix_.c_str(), win, sizeof win);
    if (n == 0 || n >= sizeof win) throw std::runtime_error("no Windows path");
    win_ = win;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(posix_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(posix_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& posix() const { return posix_; }
  const std::string& win() const { return win_; }
  // "name" inside, in either form.
  std::string P(const std::string& name) const { return posix_ + "/" + name; }
  std::string W(const std::string& name) const { return win_ + "\\" + name; }

  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(P(name), std::ios::binary) << content;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(P(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(P(name)); }

 private:
  std::string posix_, win_;
};
