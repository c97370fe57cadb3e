// Shared pieces of the storage tests: scratch directories, tree dumps that other readers
// (olefile) can produce in the same form, and small wrappers around the interfaces.
#pragma once
#include <storage/objbase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace cfbtest {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/cfbtest-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

inline std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }

inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = uint8_t(x);
  }
  return v;
}

inline uint64_t Fnv(const std::vector<uint8_t>& v) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : v) h = (h ^ b) * 1099511628211ull;
  return h;
}

inline std::string ClsidText(const CLSID& c) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", c.Data1,
                c.Data2, c.Data3, c.Data4[0], c.Data4[1], c.Data4[2], c.Data4[3], c.Data4[4],
                c.Data4[5], c.Data4[6], c.Data4[7]);
  return buf;
}

// Names with bytes outside printable ASCII are written \xNN (code units below 256).
inline std::string NameText(const OLECHAR* p) {
  std::string out;
  for (; *p; ++p) {
    char16_t c = *p;
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '/') {
      out.push_back(char(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, c < 0x100 ? "\\x%02x" : "\\u%04x", unsigned(c));
      out += buf;
    }
  }
  return out;
}

inline std::vector<uint8_t> ReadAll(IStream* s) {
  std::vector<uint8_t> out;
  uint8_t buf[65536];
  for (;;) {
    ULONG got = 0;
    if (FAILED(s->Read(buf, sizeof buf, &got)) || got == 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  return out;
}

// One line per element: "path kind size clsid hash", sorted by path.  Streams have the
// null class id in the file format's eyes, so their clsid column is always the null one.
inline void DumpInto(IStorage* stg, const std::string& prefix, std::vector<std::string>& lines) {
  IEnumSTATSTG* e = nullptr;
  ASSERT_EQ(stg->EnumElements(0, nullptr, 0, &e), S_OK);
  STATSTG st;
  while (e->Next(1, &st, nullptr) == S_OK) {
    std::string path = prefix + NameText(st.pwcsName);
    char line[400];
    if (st.type == STGTY_STREAM) {
      IStream* s = nullptr;
      EXPECT_EQ(stg->OpenStream(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s), S_OK);
      std::vector<uint8_t> bytes = s ? ReadAll(s) : std::vector<uint8_t>();
      if (s) s->Release();
      EXPECT_EQ(bytes.size(), st.cbSize.QuadPart) << path;
      std::snprintf(line, sizeof line, "%s T %llu %s %016llx", path.c_str(),
                    (unsigned long long)bytes.size(), ClsidText(CLSID{}).c_str(),
                    (unsigned long long)Fnv(bytes));
      lines.push_back(line);
    } else {
      std::snprintf(line, sizeof line, "%s S 0 %s 0", path.c_str(), ClsidText(st.clsid).c_str());
      lines.push_back(line);
      IStorage* sub = nullptr;
      EXPECT_EQ(stg->OpenStorage(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub), S_OK);
      if (sub) {
        DumpInto(sub, path + "/", lines);
        sub->Release();
      }
    }
    CoTaskMemFree(st.pwcsName);
  }
  e->Release();
}

inline std::string Dump(IStorage* stg) {
  std::vector<std::string> lines;
  DumpInto(stg, "", lines);
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (auto& l : lines) out += l + "\n";
  return out;
}

inline std::string DumpFile(const std::string& file) {
  IStorage* root = nullptr;
  HRESULT hr = StgOpenStorage(W(file).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root);
  if (FAILED(hr)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "open failed %08x", unsigned(hr));
    return buf;
  }
  std::string d = Dump(root);
  root->Release();
  return d;
}

inline std::string RunCommand(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

inline void WriteStream(IStorage* stg, const std::u16string& name, const std::vector<uint8_t>& bytes) {
  IStream* s = nullptr;
  ASSERT_EQ(stg->CreateStream(name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s), S_OK);
  ULONG put = 0;
  ASSERT_EQ(s->Write(bytes.data(), ULONG(bytes.size()), &put), S_OK);
  ASSERT_EQ(put, bytes.size());
  EXPECT_EQ(s->Release(), 0u);
}

inline std::vector<uint8_t> ReadStream(IStorage* stg, const std::u16string& name) {
  IStream* s = nullptr;
  EXPECT_EQ(stg->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s), S_OK);
  if (!s) return {};
  auto v = ReadAll(s);
  s->Release();
  return v;
}

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRO = STGM_READ | STGM_SHARE_EXCLUSIVE;

}  // namespace cfbtest
