// Runs the built cfb tool: listing, cat, unpack/pack round trips with escaped names and class
// ids, usage and failure exit codes with their messages.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string kTool = CFB_TOOL;
const std::string kFpx = std::string(PS_TESTDATA_DIR) + "/fpx/input_bw_fill.fpx";

std::string RunTool(const std::string& args, int* status) {
  std::string out;
  FILE* p = popen((kTool + " " + args + " 2>&1").c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

struct Scratch {
  fs::path dir;
  Scratch() {
    char tmpl[] = "/tmp/cfbtool-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  ~Scratch() { fs::remove_all(dir); }
};

TEST(CfbTool, ListsAndCatsAFlashPixFile) {
  int rc = -1;
  std::string ls = RunTool("ls '" + kFpx + "'", &rc);
  EXPECT_EQ(rc, 0) << ls;
  EXPECT_NE(ls.find("storage             Data Object Store 000001  {56616000-C154-11CE-8553-00AA00A1F95B}"), std::string::npos) << ls;
  EXPECT_NE(ls.find("    stream        4152  Subimage 0000 Data"), std::string::npos) << ls;
  EXPECT_NE(ls.find("stream        7336  \\x05SummaryInformation"), std::string::npos) << ls;
  std::string bytes = RunTool("cat '" + kFpx + "' 'Data Object Store 000001/Resolution 0000/Subimage 0000 Header'", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(bytes.size(), 80u);
}

TEST(CfbTool, UnpackThenPackKeepsTreeNamesAndClassIds) {
  Scratch s;
  int rc = -1;
  std::string out = RunTool("unpack '" + kFpx + "' " + (s.dir / "tree").string(), &rc);
  ASSERT_EQ(rc, 0) << out;
  EXPECT_TRUE(fs::exists(s.dir / "tree" / "\\x05SummaryInformation"));
  EXPECT_EQ(fs::file_size(s.dir / "tree" / "Data Object Store 000001" / "Resolution 0001" / "Subimage 0000 Data"), 8276u);
  // A name that starts with a dot is escaped so that it cannot clash with the side file.
  std::ofstream(s.dir / "tree" / "\\x2ecfb-classes") << "a stream, not the class list";
  out = RunTool("pack " + (s.dir / "tree").string() + " " + (s.dir / "re.fpx").string(), &rc);
  ASSERT_EQ(rc, 0) << out;
  std::string a = RunTool("ls '" + kFpx + "'", &rc);
  std::string b = RunTool("ls " + (s.dir / "re.fpx").string(), &rc);
  EXPECT_NE(b.find("stream          28  \\x2ecfb-classes"), std::string::npos) << b;
  b.erase(b.find("stream          28  \\x2ecfb-classes\n"), std::string("stream          28  \\x2ecfb-classes\n").size());
  EXPECT_EQ(a, b);
  EXPECT_NE(b.find("{56616100-C154-11CE-8553-00AA00A1F95B}"), std::string::npos);
}

TEST(CfbTool, UsageAndFailures) {
  Scratch s;
  struct Case {
    std::string args;
    int status;
    std::string message;
  };
  std::ofstream(s.dir / "text") << "plain text, long enough to have a header's worth? no.";
  std::ofstream cut(s.dir / "cut.fpx", std::ios::binary);
  {
    std::ifstream in(kFpx, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    cut << all.substr(0, 2048);
  }
  cut.close();
  const Case cases[] = {
      {"--help", 0, "usage: cfb ls FILE"},
      {"", 2, "usage:"},
      {"frobnicate x", 2, "usage:"},
      {"ls", 2, "usage:"},
      {"ls " + (s.dir / "missing").string(), 1, "cfb: " + (s.dir / "missing").string() + ": file not found"},
      {"ls " + (s.dir / "text").string(), 1, ": not a compound file"},
      {"ls " + (s.dir / "cut.fpx").string(), 1, ": damaged compound file"},
      {"cat '" + kFpx + "' 'No Such Stream'", 1, "No Such Stream: file not found"},
      {"pack " + (s.dir / "nothing").string() + " x.cfb", 1, ": not a folder"},
  };
  for (const Case& c : cases) {
    int rc = -1;
    std::string out = RunTool(c.args, &rc);
    EXPECT_EQ(rc, c.status) << c.args << "\n" << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.args << "\n" << out;
  }
}

}  // namespace
