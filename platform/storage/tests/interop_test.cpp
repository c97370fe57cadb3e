// Interoperability with another reader: files we write read the same in olefile (and have
// valid red-black directory trees), and files others wrote (hand-built reference files,
// the FlashPix test files) read in ours as olefile reads them.
#include "helpers.h"

using namespace cfbtest;

namespace {

const std::string kPython = "/usr/bin/python3";
const std::string kScripts = CFB_TEST_DIR;

bool HaveOlefile() {
  int rc = -1;
  RunCommand(kPython + " -c 'import olefile' 2>/dev/null", &rc);
  return rc == 0;
}

std::string OlefileDump(const std::string& file) {
  int rc = -1;
  std::string out = RunCommand(kPython + " " + kScripts + "/olefile_dump.py '" + file + "' 2>&1", &rc);
  EXPECT_EQ(rc, 0) << out;
  return out;
}

std::string Hex(uint64_t v) {
  char b[20];
  std::snprintf(b, sizeof b, "%016llx", (unsigned long long)v);
  return b;
}

TEST(Interop, HandBuiltReferenceFilesReadAsOlefileReadsThem) {
  if (!HaveOlefile()) GTEST_SKIP() << "python3-olefile is not installed";
  TempDir dir;
  int rc = -1;
  std::string out = RunCommand(kPython + " " + kScripts + "/cfb_reference.py build " + dir.path().string() + " 2>&1", &rc);
  ASSERT_EQ(rc, 0) << out;
  // Version 3 with interleaved chains, version 4 (4096-byte sectors), and a FAT long enough
  // to need DIFAT sectors.
  for (const char* name : {"ref_v3.cfb", "ref_v4.cfb", "ref_difat.cfb"}) {
    SCOPED_TRACE(name);
    std::string ours = DumpFile(dir.File(name));
    EXPECT_EQ(ours, OlefileDump(dir.File(name)));
    EXPECT_NE(ours.find("Big T 10000 00000000-0000-0000-0000-000000000000 " + Hex(Fnv(Pattern(10000, 3)))),
              std::string::npos) << ours;
    EXPECT_NE(ours.find("Data Object Store 000001/Resolution 0000 S 0 56616100-C154-11CE-8553-00AA00A1F95B"),
              std::string::npos) << ours;
  }
}

TEST(Interop, FlashPixTestFilesReadAsOlefileReadsThem) {
  if (!HaveOlefile()) GTEST_SKIP() << "python3-olefile is not installed";
  int count = 0;
  for (auto& e : fs::directory_iterator(fs::path(PS_TESTDATA_DIR) / "fpx")) {
    if (e.path().extension() != ".fpx") continue;
    SCOPED_TRACE(e.path().string());
    ++count;
    std::string ours = DumpFile(e.path().string());
    EXPECT_EQ(ours, OlefileDump(e.path().string()));
    EXPECT_NE(ours.find("Data Object Store 000001 S 0 56616000-C154-11CE-8553-00AA00A1F95B"), std::string::npos);
  }
  EXPECT_GT(count, 0);
}

TEST(Interop, FilesWeWriteReadTheSameInOlefile) {
  if (!HaveOlefile()) GTEST_SKIP() << "python3-olefile is not installed";
  TempDir dir;
  std::string file = dir.File("ours.cfb");
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(W(file).c_str(), kCreate, 0, &root), S_OK);
  const CLSID image = {0x56616700, 0xC154, 0x11CE, {0x85, 0x53, 0x00, 0xAA, 0x00, 0xA1, 0xF9, 0x5B}};
  ASSERT_EQ(root->SetClass(image), S_OK);
  // 8 MB needs more FAT sectors than the header lists: the DIFAT is written too.
  const std::vector<size_t> sizes = {0, 1, 4095, 4096, 4097, 8u << 20};
  for (size_t i = 0; i < sizes.size(); ++i) WriteStream(root, W("size " + std::to_string(sizes[i])), Pattern(sizes[i], uint32_t(i)));
  WriteStream(root, u"\005SummaryInformation", Pattern(400, 40));
  IStorage* store = nullptr;
  ASSERT_EQ(root->CreateStorage(u"Data Object Store 000001", kCreate, 0, 0, &store), S_OK);
  const CLSID source = {0x56616000, 0xC154, 0x11CE, {0x85, 0x53, 0x00, 0xAA, 0x00, 0xA1, 0xF9, 0x5B}};
  ASSERT_EQ(store->SetClass(source), S_OK);
  for (int i = 0; i < 300; ++i) {  // a wide directory: the sibling tree is deep
    IStorage* res = nullptr;
    char name[32];
    std::snprintf(name, sizeof name, "Resolution %04d", i);
    ASSERT_EQ(store->CreateStorage(W(name).c_str(), kCreate, 0, 0, &res), S_OK);
    WriteStream(res, u"Subimage 0000 Header", Pattern(size_t(i), uint32_t(i)));
    res->Release();
  }
  store->Release();
  EXPECT_EQ(root->Release(), 0u);

  EXPECT_EQ(DumpFile(file), OlefileDump(file));
  int rc = -1;
  std::string check = RunCommand(kPython + " " + kScripts + "/cfb_reference.py check '" + file + "' 2>&1", &rc);
  EXPECT_EQ(check, "ok\n");
}

}  // namespace
