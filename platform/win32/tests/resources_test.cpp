// Resources: the two parsers on bytes (well-formed, PE32 and PE32+, malformed), and the
// Win32 calls over the test module's resources, embedded in the module and linked into a
// PE data file.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "res_format.h"

namespace {

using w32c::ResEntry;
using w32c::ResId;
using Bytes = std::vector<uint8_t>;

const std::string kModulePath = W32C_TESTMOD_PATH;
const std::string kPePath = W32C_TESTMOD_PE_PATH;

void Put16(Bytes* b, size_t at, uint32_t v) {
  (*b)[at] = static_cast<uint8_t>(v);
  (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes* b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void Append16(Bytes* b, uint32_t v) {
  b->resize(b->size() + 2);
  Put16(b, b->size() - 2, v);
}
void Append32(Bytes* b, uint32_t v) {
  b->resize(b->size() + 4);
  Put32(b, b->size() - 4, v);
}
void Align4(Bytes* b) { b->resize((b->size() + 3) & ~size_t{3}); }

ResId Int(uint16_t id) { return ResId{true, id, {}}; }
ResId Name(const char16_t* name) { return ResId{false, 0, name}; }

struct Item {
  ResId type, name;
  uint16_t language;
  std::string data;
};

// A .res stream as the resource compiler writes it, leading empty entry included.
Bytes BuildRes(const std::vector<Item>& items) {
  Bytes out;
  auto entry = [&](const ResId& type, const ResId& name, uint16_t language, const std::string& data) {
    size_t start = out.size();
    Append32(&out, static_cast<uint32_t>(data.size()));
    Append32(&out, 0);  // header size, patched below
    for (const ResId* id : {&type, &name}) {
      if (id->is_int) {
        Append16(&out, 0xFFFF);
        Append16(&out, id->id);
      } else {
        for (char16_t c : id->name) Append16(&out, c);
        Append16(&out, 0);
      }
    }
    Align4(&out);
    Append32(&out, 0);         // DataVersion
    Append16(&out, 0x1030);    // MemoryFlags
    Append16(&out, language);  // LanguageId
    Append32(&out, 0);         // Version
    Append32(&out, 0);         // Characteristics
    Put32(&out, start + 4, static_cast<uint32_t>(out.size() - start));
    out.insert(out.end(), data.begin(), data.end());
    Align4(&out);
  };
  entry(Int(0), Int(0), 0, "");
  for (const Item& i : items) entry(i.type, i.name, i.language, i.data);
  return out;
}

// A PE file (PE32 or PE32+) with one section, .rsrc, holding the resource tree.
struct PeImage {
  Bytes bytes;
  size_t tree = 0;  // file offset of the resource tree
};
constexpr uint32_t kRsrcRva = 0x1000;

PeImage BuildPe(const std::vector<Item>& items, bool plus) {
  struct Node {
    ResId id;
    std::vector<Node> kids;
    int item = -1;
  };
  auto same = [](const ResId& a, const ResId& b) {
    return a.is_int == b.is_int && a.id == b.id && a.name == b.name;
  };
  auto child = [&](std::vector<Node>* list, const ResId& id) -> Node& {
    for (Node& n : *list)
      if (same(n.id, id)) return n;
    list->push_back(Node{id, {}, -1});
    return list->back();
  };
  std::vector<Node> types;
  for (size_t i = 0; i < items.size(); ++i) {
    Node& name = child(&child(&types, items[i].type).kids, items[i].name);
    child(&name.kids, Int(items[i].language)).item = static_cast<int>(i);
  }
  Bytes tree;
  std::vector<std::pair<size_t, int>> leaves;  // data entry offset, item
  std::function<size_t(const std::vector<Node>&, int)> emit = [&](const std::vector<Node>& kids, int level) {
    size_t at = tree.size();
    tree.resize(at + 16 + 8 * kids.size());
    size_t named = 0;
    for (const Node& k : kids) named += !k.id.is_int;
    Put16(&tree, at + 12, static_cast<uint32_t>(named));
    Put16(&tree, at + 14, static_cast<uint32_t>(kids.size() - named));
    for (size_t i = 0; i < kids.size(); ++i) {
      size_t e = at + 16 + 8 * i;
      if (kids[i].id.is_int) {
        Put32(&tree, e, kids[i].id.id);
      } else {
        Put32(&tree, e, 0x80000000u | static_cast<uint32_t>(tree.size()));
        Append16(&tree, static_cast<uint32_t>(kids[i].id.name.size()));
        for (char16_t c : kids[i].id.name) Append16(&tree, c);
        Align4(&tree);
      }
      if (level < 2) {
        size_t sub = emit(kids[i].kids, level + 1);
        Put32(&tree, e + 4, 0x80000000u | static_cast<uint32_t>(sub));
      } else {
        Put32(&tree, e + 4, static_cast<uint32_t>(tree.size()));
        leaves.push_back({tree.size(), kids[i].item});
        tree.resize(tree.size() + 16);
      }
    }
    return at;
  };
  emit(types, 0);
  for (auto [entry, item] : leaves) {
    Align4(&tree);
    Put32(&tree, entry, kRsrcRva + static_cast<uint32_t>(tree.size()));
    Put32(&tree, entry + 4, static_cast<uint32_t>(items[item].data.size()));
    tree.insert(tree.end(), items[item].data.begin(), items[item].data.end());
  }
  size_t raw = (tree.size() + 0x1FF) & ~size_t{0x1FF};

  PeImage pe;
  Bytes& b = pe.bytes;
  b.assign(0x200, 0);
  b[0] = 'M', b[1] = 'Z';
  Put32(&b, 0x3c, 0x40);
  b[0x40] = 'P', b[0x41] = 'E';
  size_t fh = 0x44;
  Put16(&b, fh, plus ? 0x8664 : 0x14c);
  Put16(&b, fh + 2, 1);
  uint32_t optional_size = plus ? 240 : 224;
  Put16(&b, fh + 16, optional_size);
  size_t opt = fh + 20;
  Put16(&b, opt, plus ? 0x20b : 0x10b);
  size_t dirs = opt + (plus ? 112 : 96);
  Put32(&b, opt + (plus ? 108 : 92), 16);
  Put32(&b, dirs + 16, kRsrcRva);
  Put32(&b, dirs + 20, static_cast<uint32_t>(tree.size()));
  size_t section = opt + optional_size;
  memcpy(&b[section], ".rsrc", 5);
  Put32(&b, section + 8, static_cast<uint32_t>(tree.size()));
  Put32(&b, section + 12, kRsrcRva);
  Put32(&b, section + 16, static_cast<uint32_t>(raw));
  Put32(&b, section + 20, 0x200);
  pe.tree = b.size();
  b.insert(b.end(), tree.begin(), tree.end());
  b.resize(pe.tree + raw);
  return pe;
}

const std::vector<Item> kItems = {
    {Int(10), Int(100), 0x409, "data"},
    {Int(10), Int(100), 0x407, "Daten"},
    {Name(u"FORM"), Name(u"TFRMHUB"), 0x809, "TPF0"},
    {Int(6), Int(1), 0x809, std::string("\x05\x00h\x00\x65\x00l\x00l\x00o\x00", 12)},
};

std::string Text(const ResId& id) {
  if (id.is_int) return "#" + std::to_string(id.id);
  return std::string(id.name.begin(), id.name.end());
}

// Every entry the parser returns must lie inside the bytes it was given.
void ExpectInside(const Bytes& image, const std::vector<ResEntry>& entries) {
  for (const ResEntry& e : entries) {
    ASSERT_GE(e.data, image.data());
    ASSERT_LE(e.data + e.size, image.data() + image.size());
  }
}

void ExpectItems(const std::vector<ResEntry>& entries) {
  ASSERT_EQ(entries.size(), kItems.size());
  for (const Item& want : kItems) {
    bool found = false;
    for (const ResEntry& e : entries) {
      if (Text(e.type) != Text(want.type) || Text(e.name) != Text(want.name) ||
          e.language != want.language)
        continue;
      found = true;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.data), e.size), want.data);
    }
    EXPECT_TRUE(found) << Text(want.type) << "/" << Text(want.name) << "/" << want.language;
  }
}

TEST(ResParser, ReadsEveryEntryAndSkipsTheLeadingEmptyOne) {
  Bytes image = BuildRes(kItems);
  std::vector<ResEntry> entries;
  std::string error;
  ASSERT_TRUE(w32c::ParseResImage(image.data(), image.size(), &entries, &error)) << error;
  ExpectItems(entries);
  ExpectInside(image, entries);
}

TEST(ResParser, MalformedStreamsFailCleanly) {
  Bytes good = BuildRes(kItems);
  struct Case {
    const char* what;
    std::function<void(Bytes*)> damage;
  };
  const size_t second = 32;  // first real entry, after the empty one
  const std::vector<Case> cases = {
      {"header size below the fixed fields", [&](Bytes* b) { Put32(b, second + 4, 16); }},
      {"header size past the end", [&](Bytes* b) { Put32(b, second + 4, 0x7FFFFFF0); }},
      {"data size past the end", [&](Bytes* b) { Put32(b, second, 0xFFFFFFF0); }},
      {"unterminated type name", [&](Bytes* b) {
         // A string type that fills the whole header without a zero unit.
         Put32(b, second + 4, 32);
         for (size_t i = second + 8; i < second + 32; i += 2) Put16(b, i, 'A');
       }},
      {"ordinal cut by the header", [&](Bytes* b) {
         b->resize(second + 10);
         Put32(b, second, 0);
         Put32(b, second + 4, 10);
       }},
      {"a few stray bytes at the end", [&](Bytes* b) { b->insert(b->end(), {1, 2, 3}); }},
  };
  for (const Case& c : cases) {
    Bytes b = good;
    c.damage(&b);
    Bytes exact(b);  // exact size, so that a sanitizer sees any read past the end
    std::vector<ResEntry> entries;
    std::string error;
    EXPECT_FALSE(w32c::ParseResImage(exact.data(), exact.size(), &entries, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

TEST(ResParser, EveryTruncationStaysInside) {
  Bytes good = BuildRes(kItems);
  for (size_t n = 0; n < good.size(); ++n) {
    Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
    std::vector<ResEntry> entries;
    std::string error;
    if (w32c::ParseResImage(cut.data(), cut.size(), &entries, &error)) ExpectInside(cut, entries);
  }
}

class PeParser : public testing::TestWithParam<bool> {};

TEST_P(PeParser, ReadsTheResourceTree) {
  PeImage pe = BuildPe(kItems, GetParam());
  std::vector<ResEntry> entries;
  std::string error;
  ASSERT_TRUE(w32c::ParsePeResources(pe.bytes.data(), pe.bytes.size(), &entries, &error)) << error;
  ExpectItems(entries);
  ExpectInside(pe.bytes, entries);
}

TEST_P(PeParser, MalformedImagesFailCleanly) {
  PeImage good = BuildPe(kItems, GetParam());
  const size_t t = good.tree;
  const size_t opt = 0x58;
  const size_t dirs = opt + (GetParam() ? 112 : 96);
  const size_t section = opt + (GetParam() ? 240 : 224);
  struct Case {
    const char* what;
    std::function<void(Bytes*)> damage;
  };
  const std::vector<Case> cases = {
      {"no MZ", [](Bytes* b) { (*b)[0] = 'X'; }},
      {"PE header offset past the end", [](Bytes* b) { Put32(b, 0x3c, 0xFFFFFFF0); }},
      {"no PE signature", [](Bytes* b) { (*b)[0x41] = 'X'; }},
      {"optional header past the end", [](Bytes* b) { Put16(b, 0x44 + 16, 0xFFFF); }},
      {"unknown optional header", [&](Bytes* b) { Put16(b, opt, 0x107); }},
      {"section table past the end", [](Bytes* b) { Put16(b, 0x44 + 2, 0xFFFF); }},
      {"resource RVA outside the sections", [&](Bytes* b) { Put32(b, dirs + 16, 0x9000); }},
      {"section raw data past the end", [&](Bytes* b) { Put32(b, section + 20, 0x7FFFFFFF); }},
      {"directory counts past the end", [&](Bytes* b) { Put16(b, t + 14, 0xFFFF); }},
      {"a loop back to the root", [&](Bytes* b) {
         // The first type's name directory points at the root directory again.
         uint32_t sub = (*b)[t + 16 + 4] | (*b)[t + 16 + 5] << 8;
         Put32(b, t + sub + 16 + 4, 0x80000000u);
       }},
      {"a subdirectory past the end", [&](Bytes* b) { Put32(b, t + 16 + 4, 0x80FFFFF0u); }},
      {"data where a directory belongs", [&](Bytes* b) { Put32(b, t + 16 + 4, 0x10); }},
      {"a name past the end", [&](Bytes* b) { Put32(b, t + 16, 0xFFFFFFF0u); }},
  };
  for (const Case& c : cases) {
    Bytes b = good.bytes;
    c.damage(&b);
    std::vector<ResEntry> entries;
    std::string error;
    EXPECT_FALSE(w32c::ParsePeResources(b.data(), b.size(), &entries, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

TEST_P(PeParser, BadDataEntriesFailCleanly) {
  // The last leaf's data entry is the one just before the data of the first item.
  PeImage good = BuildPe(kItems, GetParam());
  std::vector<ResEntry> entries;
  std::string error;
  ASSERT_TRUE(w32c::ParsePeResources(good.bytes.data(), good.bytes.size(), &entries, &error));
  size_t entry = static_cast<size_t>(entries[0].key - good.bytes.data());
  const std::vector<std::pair<uint32_t, uint32_t>> cases = {
      {0x9000, 4},              // RVA outside every section
      {kRsrcRva, 0x100000},     // size past the section
      {kRsrcRva + 0x1FF, 16},   // runs off the section's raw data
  };
  for (auto [rva, size] : cases) {
    Bytes b = good.bytes;
    Put32(&b, entry, rva);
    Put32(&b, entry + 4, size);
    EXPECT_FALSE(w32c::ParsePeResources(b.data(), b.size(), &entries, &error)) << rva << " " << size;
  }
}

TEST_P(PeParser, EveryTruncationStaysInside) {
  PeImage good = BuildPe(kItems, GetParam());
  for (size_t n = 0; n < good.bytes.size(); n += 7) {
    Bytes cut(good.bytes.begin(), good.bytes.begin() + static_cast<long>(n));
    std::vector<ResEntry> entries;
    std::string error;
    if (w32c::ParsePeResources(cut.data(), cut.size(), &entries, &error)) ExpectInside(cut, entries);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, PeParser, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& i) { return i.param ? "Pe32Plus" : "Pe32"; });

// The Win32 calls, over the same resources embedded in our module and in a PE file.
struct Source {
  const char* label;
  const std::string* path;
  bool as_data;
};

class ModuleResources : public testing::TestWithParam<Source> {
 protected:
  void SetUp() override {
    const Source& s = GetParam();
    module_ = s.as_data ? LoadLibraryExA(s.path->c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)
                        : LoadLibraryA(s.path->c_str());
    ASSERT_NE(module_, nullptr) << *s.path << " error " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  std::string Data(LPCSTR name, LPCSTR type, WORD language = 0) {
    HRSRC r = FindResourceExA(module_, type, name, language);
    if (!r) return "<missing>";
    HGLOBAL g = LoadResource(module_, r);
    const char* p = static_cast<const char*>(LockResource(g));
    if (!p) return "<unloadable>";
    return std::string(p, SizeofResource(module_, r));
  }
  std::string String(UINT id, int buffer = 256) {
    std::string out(static_cast<size_t>(buffer), '\x7f');
    int n = LoadStringA(module_, id, out.data(), buffer);
    EXPECT_EQ(out[static_cast<size_t>(n)], '\0');
    return out.substr(0, static_cast<size_t>(n));
  }
  HMODULE module_ = nullptr;
};

TEST_P(ModuleResources, StringsAcrossBlocks) {
  const std::vector<std::pair<UINT, const char*>> cases = {
      {1, "first"},  {17, "seventeen"}, {65301, "KB "},
      {65309, "Version:  %s"}, {65310, "Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC"},
  };
  for (auto [id, want] : cases) EXPECT_EQ(String(id), want) << id;
}

TEST_P(ModuleResources, MissingStringsGiveZeroAndAnEmptyBuffer) {
  // 2: empty slot of a block; 16: block 2 absent; 65300: empty slot in the last block.
  for (UINT id : {2u, 16u, 5000u, 65300u, 70000u}) {
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(LoadStringA(module_, id, buffer, sizeof buffer), 0) << id;
    EXPECT_STREQ(buffer, "") << id;
  }
}

TEST_P(ModuleResources, TruncationKeepsWholeCharacters) {
  // "Größe €" is G r C3B6 C39F e ' ' E282AC: 11 bytes.
  const std::vector<std::tuple<UINT, int, const char*>> cases = {
      {1, 1, ""},
      {1, 3, "fi"},
      {65310, 4, "Gr"},
      {65310, 5, "Gr\xC3\xB6"},
      {65310, 11, "Gr\xC3\xB6\xC3\x9F" "e "},
      {65310, 12, "Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC"},
  };
  for (auto [id, size, want] : cases) EXPECT_EQ(String(id, size), want) << id << " " << size;
  char c = 'x';
  EXPECT_EQ(LoadStringA(module_, 1, &c, 0), 0);
  EXPECT_EQ(c, 'x');
}

TEST_P(ModuleResources, WideStrings) {
  const std::u16string want = u"Gr\u00f6\u00dfe \u20ac";
  WCHAR buffer[16];
  ASSERT_EQ(LoadStringW(module_, 65310, buffer, 16), 7);
  EXPECT_EQ(std::u16string(buffer), want);
  ASSERT_EQ(LoadStringW(module_, 65310, buffer, 3), 2);
  EXPECT_EQ(std::u16string(buffer), u"Gr");
  // Size 0: a read-only pointer to the string inside the resource, not NUL-ended.
  const WCHAR* direct = nullptr;
  ASSERT_EQ(LoadStringW(module_, 65310, reinterpret_cast<LPWSTR>(&direct), 0), 7);
  ASSERT_NE(direct, nullptr);
  std::u16string seen(7, u'\0');
  memcpy(seen.data(), direct, 14);
  EXPECT_EQ(seen, want);
  EXPECT_EQ(LoadStringW(module_, 2, buffer, 16), 0);
  EXPECT_EQ(buffer[0], 0);
}

TEST_P(ModuleResources, LanguageChoice) {
  struct Case {
    LPCSTR name;
    WORD language;
    const char* want;
  };
  // 300 exists in en-GB and de-DE; 200 in en-US and neutral.
  const std::vector<Case> cases = {
      {MAKEINTRESOURCEA(300), 0x809, "en-GB"},          // exact
      {MAKEINTRESOURCEA(300), 0x407, "de-DE"},          // exact
      {MAKEINTRESOURCEA(300), 0x807, "de-DE"},          // primary language, default sublanguage
      {MAKEINTRESOURCEA(300), 0xC09, "en-GB"},          // another English
      {MAKEINTRESOURCEA(300), 0x40C, "de-DE"},          // nothing close: the lowest present
      {MAKEINTRESOURCEA(300), 0x000, "de-DE"},
      {MAKEINTRESOURCEA(200), 0x000, "lang neutral"},   // neutral first
      {MAKEINTRESOURCEA(200), 0x809, "neutral"},        // en-GB: primary default en-US
      {MAKEINTRESOURCEA(200), 0x407, "lang neutral"},   // German: neutral before en-US
  };
  for (const Case& c : cases) {
    std::string got = Data(c.name, RT_RCDATA, c.language);
    EXPECT_EQ(got.substr(0, got.find('\0')), c.want) << reinterpret_cast<uintptr_t>(c.name) << " " << c.language;
  }
  HRSRC block = FindResourceExA(module_, RT_STRING, MAKEINTRESOURCEA(1), 0x407);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(SizeofResource(module_, block), 2u * (16 + 5));  // 16 counts + "erste"
}

TEST_P(ModuleResources, NamesTypesAndStandardKinds) {
  EXPECT_EQ(Data("tfrmHub", RT_RCDATA), "TPF0");  // names compare case-insensitively
  EXPECT_EQ(Data("#100", RT_RCDATA), std::string("data\0", 5));
  EXPECT_EQ(Data(MAKEINTRESOURCEA(3), "TestData"), std::string("custom type\0", 12));
  std::string bitmap = Data(MAKEINTRESOURCEA(3001), RT_BITMAP);
  ASSERT_EQ(bitmap.size(), 40u + 16u);  // BITMAPINFOHEADER and 2 x 2 pixels; no file header
  EXPECT_EQ(w32c::ReadLe32(reinterpret_cast<const uint8_t*>(bitmap.data())), 40u);
  EXPECT_EQ(w32c::ReadLe32(reinterpret_cast<const uint8_t*>(bitmap.data()) + 4), 2u);
  std::string dialog = Data("TESTDIALOG", RT_DIALOG);
  ASSERT_GE(dialog.size(), 18u);
  EXPECT_EQ(w32c::ReadLe32(reinterpret_cast<const uint8_t*>(dialog.data())) & ~0x40u, 0x80C80000u);
}

TEST_P(ModuleResources, FailuresAreReported) {
  EXPECT_EQ(FindResourceA(module_, MAKEINTRESOURCEA(999), RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(FindResourceA(module_, MAKEINTRESOURCEA(1), RT_ICON), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_EQ(FindResourceA(module_, nullptr, RT_RCDATA), nullptr);
  // A handle that is not one of this module's resources.
  HRSRC foreign = FindResourceA(nullptr, MAKEINTRESOURCEA(7), RT_RCDATA);
  ASSERT_NE(foreign, nullptr);
  EXPECT_EQ(LoadResource(module_, foreign), nullptr);
  EXPECT_EQ(SizeofResource(module_, foreign), 0u);
  EXPECT_EQ(LoadResource(module_, nullptr), nullptr);
  HRSRC r = FindResourceA(module_, MAKEINTRESOURCEA(100), RT_RCDATA);
  HGLOBAL g = LoadResource(module_, r);
  EXPECT_EQ(LockResource(g), g);
  EXPECT_FALSE(FreeResource(g));
  EXPECT_EQ(LockResource(LoadResource(module_, r)), g);  // still there
}

INSTANTIATE_TEST_SUITE_P(Images, ModuleResources,
                         testing::Values(Source{"Embedded", &kModulePath, false},
                                         Source{"PeDataFile", &kPePath, true}),
                         [](const testing::TestParamInfo<Source>& i) { return i.param.label; });

TEST(ProgramResources, NullModuleIsTheProgram) {
  char buffer[32];
  EXPECT_EQ(LoadStringA(nullptr, 5, buffer, sizeof buffer), 14);
  EXPECT_STREQ(buffer, "program string");
  HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(7), RT_RCDATA);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(LockResource(LoadResource(nullptr, r))),
                        SizeofResource(nullptr, r)),
            "program data");
}

TEST(DamagedPeFile, ResourcesFailButNothingBreaks) {
  // The real PE file with its resource tree's root counts made impossible.
  FILE* in = fopen(kPePath.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  Bytes bytes(1 << 16);
  bytes.resize(fread(bytes.data(), 1, bytes.size(), in));
  fclose(in);
  std::vector<ResEntry> entries;
  std::string error;
  ASSERT_TRUE(w32c::ParsePeResources(bytes.data(), bytes.size(), &entries, &error)) << error;
  ASSERT_FALSE(entries.empty());
  // Where the resource tree lies: data directory 2 mapped through the section table.
  size_t pe = w32c::ReadLe32(&bytes[0x3c]);
  size_t opt = pe + 24;
  ASSERT_EQ(w32c::ReadLe16(&bytes[opt]), 0x10b);
  uint32_t rva = w32c::ReadLe32(&bytes[opt + 96 + 16]);
  size_t table = opt + w32c::ReadLe16(&bytes[pe + 20]);
  size_t root = 0;
  for (size_t i = 0; i < w32c::ReadLe16(&bytes[pe + 6]); ++i) {
    const uint8_t* s = &bytes[table + 40 * i];
    if (rva >= w32c::ReadLe32(s + 12) && rva - w32c::ReadLe32(s + 12) < w32c::ReadLe32(s + 16))
      root = w32c::ReadLe32(s + 20) + (rva - w32c::ReadLe32(s + 12));
  }
  ASSERT_NE(root, 0u);
  Put16(&bytes, root + 14, 0xFFFF);
  char path[] = "/tmp/w32c_damaged_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
  HMODULE m = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  unlink(path);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(FindResourceA(m, MAKEINTRESOURCEA(100), RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_FORMAT));
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(LoadStringA(m, 1, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  FreeLibrary(m);
}

}  // namespace
