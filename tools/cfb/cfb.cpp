// cfb: looks inside compound files.
//   cfb ls FILE                 the tree: kinds, names, sizes, class ids
//   cfb cat FILE PATH           a stream's bytes to standard output
//   cfb unpack FILE DIR         storages as folders, streams as files, class ids in DIR/.cfb-classes
//   cfb pack DIR FILE           the reverse
// Names are shown and stored on disk with \xNN escapes for control characters, '/', '\\'
// and a leading '.', so that "\005SummaryInformation" is the file "\x05SummaryInformation".
#include <storage/objbase.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "names.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: cfb ls FILE\n"
    "       cfb cat FILE PATH/TO/STREAM\n"
    "       cfb unpack FILE DIR\n"
    "       cfb pack DIR FILE\n"
    "Looks inside compound files (OLE structured storage, e.g. FlashPix).\n"
    "  ls      lists the tree: kind, size, class id and name of every element\n"
    "  cat     writes a stream's bytes to standard output\n"
    "  unpack  writes storages as folders and streams as files into DIR (created when\n"
    "          missing); class ids go to DIR/.cfb-classes\n"
    "  pack    builds FILE from such a folder (FILE is replaced)\n"
    "Names are written with \\xNN escapes for control characters, '/', '\\' and a leading\n"
    "'.'; PATH and folder contents use the same escapes.\n"
    "Exit status: 0 success, 1 failure (unreadable or damaged file), 2 wrong usage.\n";

const char kClassFile[] = ".cfb-classes";

struct Failure {
  std::string text;
};

std::string StatusText(HRESULT hr) {
  switch (hr) {
    case STG_E_FILENOTFOUND: return "file not found";
    case STG_E_PATHNOTFOUND: return "path not found";
    case STG_E_ACCESSDENIED: return "access denied";
    case STG_E_SHAREVIOLATION: return "the file is in use";
    case STG_E_FILEALREADYEXISTS: return "not a compound file";
    case STG_E_INVALIDHEADER: return "damaged compound file (bad header)";
    case STG_E_DOCFILECORRUPT: return "damaged compound file";
    case STG_E_INVALIDNAME: return "invalid element name";
    case STG_E_MEDIUMFULL: return "no space left, or too large for the format";
    case STG_E_WRITEFAULT: return "write failed";
    case STG_E_READFAULT: return "read failed";
    default: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "status 0x%08X", unsigned(hr));
      return buf;
    }
  }
}

void Check(HRESULT hr, const std::string& what) {
  if (FAILED(hr)) throw Failure{what + ": " + StatusText(hr)};
}

std::string Escape(const std::u16string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\' || (i == 0 && c == u'.')) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", unsigned(c));
      out += buf;
    } else {
      out += cfb::Utf16ToUtf8(std::u16string(1, c));
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < name.size()) {
        out.pop_back();  // a surrogate pair: convert the two together
        out.resize(out.size() - (out.size() >= 2 ? 2 : out.size()));
        out += cfb::Utf16ToUtf8(name.substr(i, 2));
        ++i;
      }
    }
  }
  return out;
}

std::u16string Unescape(const std::string& text) {
  std::string raw;
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() + 0 && text[i + 1] == 'x' && isxdigit((unsigned char)text[i + 2]) &&
        isxdigit((unsigned char)text[i + 3])) {
      out += cfb::Utf8ToUtf16(raw);
      raw.clear();
      out.push_back(char16_t(std::stoi(text.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else {
      raw.push_back(text[i]);
    }
  }
  return out + cfb::Utf8ToUtf16(raw);
}

std::string ClsidText(const CLSID& c) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", c.Data1, c.Data2,
                c.Data3, c.Data4[0], c.Data4[1], c.Data4[2], c.Data4[3], c.Data4[4], c.Data4[5],
                c.Data4[6], c.Data4[7]);
  return buf;
}

bool ParseClsid(const std::string& s, CLSID& c) {
  unsigned d[11];
  if (s.size() != 36 ||
      std::sscanf(s.c_str(), "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &d[0], &d[1], &d[2], &d[3], &d[4],
                  &d[5], &d[6], &d[7], &d[8], &d[9], &d[10]) != 11)
    return false;
  c.Data1 = d[0];
  c.Data2 = uint16_t(d[1]);
  c.Data3 = uint16_t(d[2]);
  for (int i = 0; i < 8; ++i) c.Data4[i] = uint8_t(d[3 + i]);
  return true;
}

// The storage objects are released when a Ref goes out of scope.
template <class T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
};

std::u16string Wide(const std::string& path) { return cfb::Utf8ToUtf16(path); }

void OpenRoot(const std::string& file, Ref<IStorage>& root) {
  Check(StgOpenStorage(Wide(file).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &root.p), file);
}

struct Element {
  std::u16string name;
  DWORD type;
  uint64_t size;
  CLSID clsid;
};

std::vector<Element> List(IStorage* stg, const std::string& where) {
  Ref<IEnumSTATSTG> e;
  Check(stg->EnumElements(0, nullptr, 0, &e.p), where);
  std::vector<Element> out;
  STATSTG st;
  while (e->Next(1, &st, nullptr) == S_OK) {
    out.push_back({st.pwcsName, st.type, st.cbSize.QuadPart, st.clsid});
    CoTaskMemFree(st.pwcsName);
  }
  return out;
}

const DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
const DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

void Ls(IStorage* stg, int depth, const std::string& where) {
  for (const Element& el : List(stg, where)) {
    std::string name = Escape(el.name);
    if (el.type == STGTY_STREAM) {
      std::printf("%*sstream  %10llu  %s\n", depth * 2, "", (unsigned long long)el.size, name.c_str());
    } else {
      std::printf("%*sstorage %10s  %s  {%s}\n", depth * 2, "", "", name.c_str(), ClsidText(el.clsid).c_str());
      Ref<IStorage> sub;
      Check(stg->OpenStorage(el.name.c_str(), nullptr, kRead, nullptr, 0, &sub.p), where + "/" + name);
      Ls(sub.p, depth + 1, where + "/" + name);
    }
  }
}

void CopyOut(IStream* s, std::FILE* out, const std::string& where) {
  std::vector<char> buf(1 << 16);
  for (;;) {
    ULONG got = 0;
    Check(s->Read(buf.data(), ULONG(buf.size()), &got), where);
    if (got == 0) break;
    if (std::fwrite(buf.data(), 1, got, out) != got) throw Failure{where + ": write failed: " + std::strerror(errno)};
  }
}

int Cat(const std::string& file, const std::string& path) {
  Ref<IStorage> root;
  OpenRoot(file, root);
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    if (slash > start) parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  if (parts.empty()) throw Failure{"no stream named"};
  std::vector<Ref<IStorage>> chain(parts.size());
  IStorage* at = root.p;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    Check(at->OpenStorage(Unescape(parts[i]).c_str(), nullptr, kRead, nullptr, 0, &chain[i].p), file + ": " + parts[i]);
    at = chain[i].p;
  }
  Ref<IStream> s;
  Check(at->OpenStream(Unescape(parts.back()).c_str(), nullptr, kRead, 0, &s.p), file + ": " + path);
  CopyOut(s.p, stdout, file + ": " + path);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

void Unpack(IStorage* stg, const fs::path& dir, const std::string& rel, std::ofstream& classes) {
  fs::create_directories(dir);
  for (const Element& el : List(stg, rel)) {
    std::string name = Escape(el.name);
    std::string sub_rel = rel.empty() ? name : rel + "/" + name;
    if (el.type == STGTY_STREAM) {
      Ref<IStream> s;
      Check(stg->OpenStream(el.name.c_str(), nullptr, kRead, 0, &s.p), sub_rel);
      std::FILE* out = std::fopen((dir / name).c_str(), "wb");
      if (!out) throw Failure{(dir / name).string() + ": " + std::strerror(errno)};
      try {
        CopyOut(s.p, out, sub_rel);
      } catch (...) {
        std::fclose(out);
        throw;
      }
      if (std::fclose(out) != 0) throw Failure{(dir / name).string() + ": " + std::strerror(errno)};
    } else {
      Ref<IStorage> sub;
      Check(stg->OpenStorage(el.name.c_str(), nullptr, kRead, nullptr, 0, &sub.p), sub_rel);
      classes << ClsidText(el.clsid) << " " << sub_rel << "\n";
      Unpack(sub.p, dir / name, sub_rel, classes);
    }
  }
}

int UnpackCmd(const std::string& file, const std::string& dir) {
  Ref<IStorage> root;
  OpenRoot(file, root);
  STATSTG st;
  Check(root->Stat(&st, STATFLAG_NONAME), file);
  fs::create_directories(dir);
  std::ofstream classes(fs::path(dir) / kClassFile);
  classes << ClsidText(st.clsid) << " .\n";
  Unpack(root.p, dir, "", classes);
  classes.close();
  if (!classes) throw Failure{dir + "/" + kClassFile + ": write failed"};
  return 0;
}

void Pack(IStorage* stg, const fs::path& dir, const std::string& rel, const std::map<std::string, CLSID>& classes) {
  auto cls = classes.find(rel.empty() ? "." : rel);
  if (cls != classes.end()) Check(stg->SetClass(cls->second), rel.empty() ? "." : rel);
  std::vector<fs::directory_entry> entries{fs::directory_iterator(dir), fs::directory_iterator()};
  std::sort(entries.begin(), entries.end());
  for (const auto& e : entries) {
    std::string name = e.path().filename().string();
    if (rel.empty() && name == kClassFile) continue;
    std::string sub_rel = rel.empty() ? name : rel + "/" + name;
    std::u16string wname = Unescape(name);
    if (e.is_directory()) {
      Ref<IStorage> sub;
      Check(stg->CreateStorage(wname.c_str(), kCreate, 0, 0, &sub.p), sub_rel);
      Pack(sub.p, e.path(), sub_rel, classes);
    } else if (e.is_regular_file()) {
      Ref<IStream> s;
      Check(stg->CreateStream(wname.c_str(), kCreate, 0, 0, &s.p), sub_rel);
      std::FILE* in = std::fopen(e.path().c_str(), "rb");
      if (!in) throw Failure{e.path().string() + ": " + std::strerror(errno)};
      std::vector<char> buf(1 << 16);
      size_t n;
      while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0) {
        HRESULT hr = s->Write(buf.data(), ULONG(n), nullptr);
        if (FAILED(hr)) {
          std::fclose(in);
          Check(hr, sub_rel);
        }
      }
      bool bad = std::ferror(in);
      std::fclose(in);
      if (bad) throw Failure{e.path().string() + ": read failed"};
    }
  }
}

int PackCmd(const std::string& dir, const std::string& file) {
  if (!fs::is_directory(dir)) throw Failure{dir + ": not a folder"};
  std::map<std::string, CLSID> classes;
  std::ifstream in(fs::path(dir) / kClassFile);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty()) continue;
    CLSID c;
    if (line.size() < 38 || line[36] != ' ' || !ParseClsid(line.substr(0, 36), c))
      throw Failure{dir + "/" + kClassFile + ":" + std::to_string(number) + ": expected CLSID and path"};
    classes[line.substr(37)] = c;
  }
  Ref<IStorage> root;
  Check(StgCreateDocfile(Wide(file).c_str(), kCreate, 0, &root.p), file);
  Pack(root.p, dir, "", classes);
  Check(root->Commit(STGC_DEFAULT), file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (args.size() == 2 && args[0] == "ls") {
      Ref<IStorage> root;
      OpenRoot(args[1], root);
      Ls(root.p, 0, args[1]);
      return 0;
    }
    if (args.size() == 3 && args[0] == "cat") return Cat(args[1], args[2]);
    if (args.size() == 3 && args[0] == "unpack") return UnpackCmd(args[1], args[2]);
    if (args.size() == 3 && args[0] == "pack") return PackCmd(args[1], args[2]);
  } catch (const Failure& f) {
    std::fprintf(stderr, "cfb: %s\n", f.text.c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cfb: %s\n", e.what());
    return 1;
  }
  std::fputs(kUsage, stderr);
  return 2;
}
