// The registry over .reg files: every value type, enumerations, deletion rules, the file
// format regedit reads, damaged and UTF-8 files, and the guarantees between processes
// (persistence, concurrent writers, a crash before the rename).
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A child process that is to die between writing its temporary file and renaming it.
volatile bool g_die_before_rename = false;

}  // namespace

// Interposes the C library's rename for the registry's atomic write, so that a test can
// stop a writer at the one point where a crash matters.
extern "C" int rename(const char* from, const char* to) {
  if (g_die_before_rename) _exit(86);
  return renameat(AT_FDCWD, from, AT_FDCWD, to);
}

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

// The file's text (UTF-16LE after its byte-order mark) as UTF-8; ASCII is enough for
// the checks that use it.
std::string FileText(const fs::path& p) {
  Bytes b = ReadFile(p);
  std::string out;
  for (size_t i = 2; i + 1 < b.size(); i += 2) {
    unsigned c = b[i] | b[i + 1] << 8;
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return out;
}

class Registry : public testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/w32c_registry_XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir_ = templ;
    setenv("WIN32COMPAT_REGISTRY", dir_.c_str(), 1);
  }
  void TearDown() override {
    for (HKEY k : open_) RegCloseKey(k);
    fs::remove_all(dir_);
  }
  HKEY Create(HKEY root, const char* path) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_SUCCESS);
    open_.push_back(k);
    return k;
  }
  LONG Open(HKEY root, const char* path, HKEY* k) {
    LONG r = RegOpenKeyExA(root, path, 0, KEY_READ, k);
    if (r == ERROR_SUCCESS) open_.push_back(*k);
    return r;
  }
  fs::path File(const char* root = "HKEY_CURRENT_USER") const { return dir_ / (std::string(root) + ".reg"); }
  // Runs `body` in a child process; its result is the child's exit status.
  template <class F>
  int InChild(F body) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  fs::path dir_;
  std::vector<HKEY> open_;
};

struct TypedValue {
  const char* name;
  DWORD type;
  std::string data;  // as RegSetValueExA takes it
  const char* line;  // the start of its line in the file
};

const std::vector<TypedValue> kEveryType = {
    {"text", REG_SZ, std::string("h\xC3\xA9llo w\xC3\xB6rld\0", 14), "\"text\"=\"h?llo w?rld\""},
    {"quoted", REG_SZ, std::string("C:\\dir \"q\"\0", 11), "\"quoted\"=\"C:\\\\dir \\\"q\\\"\""},
    {"lines", REG_SZ, std::string("a\r\nb\0", 5), "\"lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00"},
    {"", REG_SZ, std::string("default\0", 8), "@=\"default\""},
    {"expand", REG_EXPAND_SZ, std::string("%PATH%\0", 7), "\"expand\"=hex(2):25,00,50,00"},
    {"multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6), "\"multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00"},
    {"dword", REG_DWORD, std::string("\x2a\0\0\0", 4), "\"dword\"=dword:0000002a"},
    {"qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8), "\"qword\"=hex(b):01,02,03,04,05,06,07,08"},
    {"none", REG_NONE, std::string(), "\"none\"=hex(0):"},
    {"binary", REG_BINARY, std::string(100, '\xAB'), "\"binary\"=hex:ab,ab,"},
    {"odd word", REG_DWORD, std::string("\x01\x02", 2), "\"odd word\"=hex(4):01,02"},
};

TEST_F(Registry, EveryTypeRoundTripsThroughTheFile) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Test");
  for (const TypedValue& v : kEveryType)
    ASSERT_EQ(RegSetValueExA(k, v.name, 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                             static_cast<DWORD>(v.data.size())),
              ERROR_SUCCESS)
        << v.name;
  std::string text = FileText(File());
  for (const TypedValue& v : kEveryType) {
    EXPECT_NE(text.find(std::string("\r\n") + v.line), std::string::npos) << v.line;
    DWORD type = 99, size = 256;
    BYTE data[256];
    ASSERT_EQ(RegQueryValueExA(k, v.name, nullptr, &type, data, &size), ERROR_SUCCESS) << v.name;
    EXPECT_EQ(type, v.type) << v.name;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), v.data) << v.name;
  }
  // A NULL name is the default value, too.
  char buf[16];
  DWORD size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(k, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "default");
}

TEST_F(Registry, FileIsInTheFormRegeditImports) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Vendor\\Product");
  std::string blob(200, '\x11');
  ASSERT_EQ(RegSetValueExA(k, "blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()), 200), ERROR_SUCCESS);
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExA(k, "one", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
  Create(HKEY_CURRENT_USER, "Software\\Empty");

  Bytes raw = ReadFile(File());
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw[0], 0xFF);
  EXPECT_EQ(raw[1], 0xFE);
  std::string text = FileText(File());
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n", 0), 0u);
  // CRLF everywhere, regedit's width, continuation lines indented by two blanks.
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "unterminated last line";
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  int continued = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].find('\n'), std::string::npos);
    EXPECT_LE(lines[i].size(), 80u) << lines[i];
    if (i > 0 && !lines[i - 1].empty() && lines[i - 1].back() == '\\') {
      EXPECT_EQ(lines[i].rfind("  11,", 0), 0u) << lines[i];
      ++continued;
    }
  }
  EXPECT_GE(continued, 2);
  const std::vector<std::string> expected_order = {
      "[HKEY_CURRENT_USER\\Software]", "[HKEY_CURRENT_USER\\Software\\Empty]",
      "[HKEY_CURRENT_USER\\Software\\Vendor]", "[HKEY_CURRENT_USER\\Software\\Vendor\\Product]"};
  size_t at = 0;
  for (const std::string& key : expected_order) {
    size_t found = text.find("\r\n" + key + "\r\n", at);
    ASSERT_NE(found, std::string::npos) << key;
    at = found + 1;
  }
  EXPECT_NE(text.find("\"one\"=dword:00000001\r\n\r\n"), std::string::npos);  // a blank line ends a key
}

TEST_F(Registry, EnumerationsOrderAndBufferSizes) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Enum");
  for (const char* sub : {"b", "A", "c", "B2"}) Create(k, sub);
  std::vector<std::string> keys;
  char name[64];
  for (DWORD i = 0;; ++i) {
    DWORD n = sizeof name;
    LONG r = RegEnumKeyExA(k, i, name, &n, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(r, ERROR_SUCCESS);
    EXPECT_EQ(n, strlen(name));
    keys.push_back(name);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"A", "b", "B2", "c"}));

  const char* names[] = {"zeta", "alpha", "Mid"};
  for (const char* v : names) ASSERT_EQ(RegSetValueExA(k, v, 0, REG_SZ, reinterpret_cast<const BYTE*>("12345"), 6), ERROR_SUCCESS);
  for (DWORD i = 0; i < 3; ++i) {
    DWORD n = sizeof name, type = 0, size = 0;
    ASSERT_EQ(RegEnumValueA(k, i, name, &n, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_STREQ(name, names[i]);  // creation order
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 6u);
  }
  DWORD n = sizeof name;
  EXPECT_EQ(RegEnumValueA(k, 3, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  // Small buffers: names need room for their NUL; data sizes come back.
  n = 4;
  EXPECT_EQ(RegEnumValueA(k, 0, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  n = 2;
  EXPECT_EQ(RegEnumKeyExA(k, 2, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  BYTE small[3];
  DWORD size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(k, "alpha", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  n = sizeof name;
  size = sizeof small;
  EXPECT_EQ(RegEnumValueA(k, 1, name, &n, nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  size = 0;
  EXPECT_EQ(RegQueryValueExA(k, "alpha", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(RegQueryValueExA(k, "alpha", nullptr, nullptr, small, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(k, "missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, NamesIgnoreCaseAndKeepIt) {
  Create(HKEY_CURRENT_USER, "Software\\MixedCase\\Inner");
  HKEY k = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase", &k), ERROR_SUCCESS);
  DWORD disposition = 0;
  HKEY again = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "software\\MIXEDCASE\\inner", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &again, &disposition),
            ERROR_SUCCESS);
  open_.push_back(again);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  DWORD v = 7;
  ASSERT_EQ(RegSetValueExA(k, "N\xC3\xA4me", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
  DWORD got = 0, size = 4;
  EXPECT_EQ(RegQueryValueExA(k, "N\xC3\x84ME", nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &size), ERROR_SUCCESS);
  EXPECT_EQ(got, 7u);
  char name[32];
  DWORD n = sizeof name;
  ASSERT_EQ(RegEnumValueA(k, 0, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "N\xC3\xA4me");
  HKEY top = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "software", &top), ERROR_SUCCESS);
  n = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(top, 0, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "MixedCase");
}

TEST_F(Registry, DeletionRules) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Del\\Child");
  HKEY parent = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Del", &parent), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del"), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del\\Nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);  // a root key
  EXPECT_EQ(RegDeleteKeyA(parent, "child"), ERROR_SUCCESS);
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExA(k, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del"), ERROR_SUCCESS);
  HKEY gone = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Del", &gone), ERROR_FILE_NOT_FOUND);

  HKEY values = Create(HKEY_CURRENT_USER, "Software\\Values");
  ASSERT_EQ(RegSetValueExA(values, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(values, "X"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(values, "x"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(values, "x", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, HandlesPathsAndRoots) {
  HKEY k = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Missing", &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(k, nullptr);
  EXPECT_FALSE(fs::exists(File()));  // reading creates nothing
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "\\Software", &k), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(uintptr_t{0x1234}), "x", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "x", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

  HKEY created = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Pagecraft\\Version\\", 0, nullptr, 0,
                            KEY_WRITE, nullptr, &created, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_TRUE(fs::exists(File("HKEY_LOCAL_MACHINE")));
  EXPECT_FALSE(fs::exists(File()));  // each root has its own file
  EXPECT_EQ(RegFlushKey(created), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(created), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(created), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegFlushKey(created), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "software\\velmora\\pagecraft\\version", &k), ERROR_SUCCESS);
  HKEY same = nullptr;
  ASSERT_EQ(Open(k, nullptr, &same), ERROR_SUCCESS);  // no subkey: the same key again
  EXPECT_NE(same, k);
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_USERS}) Create(root, "Probe");
  EXPECT_TRUE(fs::exists(File("HKEY_CLASSES_ROOT")));
  EXPECT_TRUE(fs::exists(File("HKEY_USERS")));
}

TEST_F(Registry, DefaultDirectoryFollowsXdgAndHome) {
  unsetenv("WIN32COMPAT_REGISTRY");
  const char* home = getenv("HOME");
  std::string saved_home = home ? home : "";
  const char* xdg = getenv("XDG_CONFIG_HOME");
  std::string saved_xdg = xdg ? xdg : "";
  struct Case {
    std::string xdg;  // empty: unset
    fs::path expect;
  };
  const std::vector<Case> cases = {{(dir_ / "config").string(), dir_ / "config/win32compat/registry"},
                                   {"", dir_ / ".config/win32compat/registry"}};
  setenv("HOME", dir_.c_str(), 1);
  for (const Case& c : cases) {
    if (!c.xdg.empty()) {
      setenv("XDG_CONFIG_HOME", c.xdg.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    Create(HKEY_CURRENT_USER, "Here");
    EXPECT_TRUE(fs::exists(c.expect / "HKEY_CURRENT_USER.reg")) << c.expect;
  }
  setenv("HOME", saved_home.c_str(), 1);
  if (xdg) setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
  setenv("WIN32COMPAT_REGISTRY", dir_.c_str(), 1);
}

TEST_F(Registry, DamagedFilesAreReportedAndKept) {
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
  struct Case {
    std::string text;
    int line;
  };
  const std::vector<Case> cases = {
      {"REGEDIT 9\r\n", 1},
      {header + "\"x\"=dword:1\r\n", 3},                              // a value before any key
      {header + "[HKEY_CURRENT_USER\\A]\r\n\"x\"=dword:123456789\r\n", 4},
      {header + "[HKEY_CURRENT_USER\\A]\r\n\"x\"=hex:0g\r\n", 4},
      {header + "[HKEY_CURRENT_USER\\A]\r\n\"x=\"y\"\r\n", 4},
      {header + "[HKEY_CURRENT_USER\\A]\r\n\"x\"=\"unclosed\r\n", 4},
      {header + "[HKEY_CURRENT_USER\\A]\r\n\"x\"=string:y\r\n", 4},
      {header + "[HKEY_LOCAL_MACHINE\\A]\r\n", 3},                    // another root's key
      {header + "[HKEY_CURRENT_USER\\\\A]\r\n", 3},
      {header + "[HKEY_CURRENT_USER\\A\r\n", 3},
      {header + "[HKEY_CURRENT_USER\\A]\r\ngarbage\r\n", 4},
  };
  for (const Case& c : cases) {
    WriteFile(File(), c.text);
    testing::internal::CaptureStderr();
    HKEY k = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "A", &k), ERROR_REGISTRY_CORRUPT) << c.text;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "B", 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1),
              ERROR_REGISTRY_CORRUPT);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(File().string() + " line " + std::to_string(c.line) + ":"), std::string::npos)
        << c.text << "\n" << err;
    Bytes kept = ReadFile(File());
    EXPECT_EQ(std::string(kept.begin(), kept.end()), c.text);  // never overwritten
  }
}

TEST_F(Registry, Utf8FilesWithImportForms) {
  const std::string body =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "; a comment\n"
      "[HKEY_CURRENT_USER\\Software\\Gr\xC3\xBC\xC3\x9F" "e]\n"
      "\"Stra\xC3\x9F" "e\"=\"K\xC3\xB6ln\"\n"
      "\"list\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"gone\"=dword:00000001\n"
      "\"gone\"=-\n"
      "@=\"def\"\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Old\\Deep]\n"
      "[-HKEY_CURRENT_USER\\Software\\Old]\n"
      "\"ignored\"=\"after a deleted key\"\n"
      "[-HKEY_CURRENT_USER\\Software\\Never\\There]\n";
  for (const char* bom : {"", "\xEF\xBB\xBF"}) {
    WriteFile(File(), bom + body);
    HKEY k = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\GR\xC3\x9C\xC3\x9F" "E", &k), ERROR_SUCCESS);
    char text[16];
    DWORD size = sizeof text;
    ASSERT_EQ(RegQueryValueExA(k, "stra\xC3\x9F" "e", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "K\xC3\xB6ln");
    BYTE list[8];
    size = sizeof list;
    ASSERT_EQ(RegQueryValueExA(k, "list", nullptr, nullptr, list, &size), ERROR_SUCCESS);
    EXPECT_EQ(Bytes(list, list + size), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(RegQueryValueExA(k, "gone", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    HKEY old = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Old", &old), ERROR_FILE_NOT_FOUND);
  }
  // The next change writes the file the way regedit exports it.
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\New");
  Bytes raw = ReadFile(File());
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw[0], 0xFF);
  std::string text = FileText(File());
  EXPECT_NE(text.find("\"list\"=hex:01,02,03,04\r\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"def\"\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Old"), std::string::npos);
  (void)k;
}

TEST_F(Registry, ChangesPersistAcrossProcesses) {
  int status = InChild([] {
    HKEY k = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Child", 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr)) return 1;
    DWORD v = 2600;
    if (RegSetValueExA(k, "CamDBVers", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4)) return 2;
    return 0;
  });
  ASSERT_EQ(status, 0);
  HKEY k = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Child", &k), ERROR_SUCCESS);
  DWORD v = 0, size = 4;
  ASSERT_EQ(RegQueryValueExA(k, "CamDBVers", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(v, 2600u);
  // And the other way: what this process writes, a new process reads.
  ASSERT_EQ(RegSetValueExA(k, "parent", 0, REG_SZ, reinterpret_cast<const BYTE*>("p"), 2), ERROR_SUCCESS);
  EXPECT_EQ(InChild([] {
              char buf[4];
              DWORD size = sizeof buf;
              HKEY k = nullptr;
              if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Child", 0, KEY_READ, &k)) return 1;
              if (RegQueryValueExA(k, "parent", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size)) return 2;
              return strcmp(buf, "p") == 0 ? 0 : 3;
            }),
            0);
}

TEST_F(Registry, ConcurrentWritersBothLand) {
  constexpr int kEach = 40;
  Create(HKEY_CURRENT_USER, "Software\\Shared");
  std::vector<pid_t> children;
  for (char who : {'a', 'b'}) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
      HKEY k = nullptr;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, KEY_WRITE, &k)) _exit(1);
      for (int i = 0; i < kEach; ++i) {
        std::string name = who + std::to_string(i);
        DWORD v = static_cast<DWORD>(i);
        if (RegSetValueExA(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4)) _exit(2);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  HKEY k = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Shared", &k), ERROR_SUCCESS);
  for (char who : {'a', 'b'}) {
    for (int i = 0; i < kEach; ++i) {
      std::string name = who + std::to_string(i);
      DWORD v = 99, size = 4;
      ASSERT_EQ(RegQueryValueExA(k, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
                ERROR_SUCCESS)
          << name;
      EXPECT_EQ(v, static_cast<DWORD>(i));
    }
  }
}

TEST_F(Registry, CrashBeforeRenameLeavesTheOldFile) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Crash");
  ASSERT_EQ(RegSetValueExA(k, "old", 0, REG_SZ, reinterpret_cast<const BYTE*>("kept"), 5), ERROR_SUCCESS);
  Bytes before = ReadFile(File());
  EXPECT_EQ(InChild([&] {
              g_die_before_rename = true;
              RegSetValueExA(k, "new", 0, REG_SZ, reinterpret_cast<const BYTE*>("lost"), 5);
              return 0;  // not reached
            }),
            86);
  EXPECT_EQ(ReadFile(File()), before);
  EXPECT_EQ(RegQueryValueExA(k, "new", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  // The dead writer's temporary file is cleared by the next writer.
  auto temporaries = [&] {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir_)) n += e.path().filename().string().find(".tmp") != std::string::npos;
    return n;
  };
  EXPECT_EQ(temporaries(), 1);
  ASSERT_EQ(RegSetValueExA(k, "next", 0, REG_SZ, reinterpret_cast<const BYTE*>("ok"), 3), ERROR_SUCCESS);
  EXPECT_EQ(temporaries(), 0);
  EXPECT_EQ(RegQueryValueExA(k, "old", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
}

}  // namespace
