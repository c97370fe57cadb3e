#include "bench_corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace bench {
namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxFile = 8u << 20;  // one huge library must not be the whole corpus

bool ReadFile(const fs::path& p, std::vector<CorpusFile>& out, size_t& total) {
  std::error_code ec;
  if (!fs::is_regular_file(p, ec) || fs::is_symlink(p, ec)) return false;
  const auto size = fs::file_size(p, ec);
  if (ec || size == 0) return false;
  std::ifstream in(p, std::ios::binary);
  if (!in) return false;
  CorpusFile f;
  f.name = p.string();
  f.data.resize(std::min<size_t>(size, kMaxFile));
  in.read(reinterpret_cast<char*>(f.data.data()), static_cast<std::streamsize>(f.data.size()));
  f.data.resize(static_cast<size_t>(in.gcount()));
  if (f.data.empty()) return false;
  total += f.data.size();
  out.push_back(std::move(f));
  return true;
}

// Files under `dir` whose names pass `keep`, sorted, until `budget` bytes are taken.
void AddTree(const fs::path& dir, bool recurse, size_t budget, bool (*keep)(const fs::path&),
             std::vector<CorpusFile>& out, size_t& total) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return;
  std::vector<fs::path> paths;
  if (recurse) {
    for (auto it = fs::recursive_directory_iterator(dir, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
      if (it->is_regular_file(ec) && keep(it->path())) paths.push_back(it->path());
  } else {
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
      if (it->is_regular_file(ec) && keep(it->path())) paths.push_back(it->path());
  }
  std::sort(paths.begin(), paths.end());
  size_t taken = 0;
  for (const auto& p : paths) {
    if (taken >= budget) break;
    const size_t before = total;
    if (ReadFile(p, out, total)) taken += total - before;
  }
}

bool Any(const fs::path&) { return true; }
bool PlainDoc(const fs::path& p) {
  const auto e = p.extension();
  return e != ".gz" && e != ".xz" && e != ".bz2" && e != ".zip";
}
bool Image(const fs::path& p) {
  const auto e = p.extension();
  return e == ".png" || e == ".jpg" || e == ".jpeg" || e == ".gif" || e == ".bmp" || e == ".svg" ||
         e == ".xpm" || e == ".ico";
}
bool Library(const fs::path& p) { return p.string().find(".so") != std::string::npos || p.extension() == ".a"; }

void AddGenerated(size_t bytes, std::vector<CorpusFile>& out, size_t& total) {
  std::mt19937 rng(12345);
  // Random bytes, skewed bytes, a 16-bit counter, and long runs, in equal parts.
  const size_t part = bytes / 4 + 1;
  CorpusFile random{"generated/random", std::vector<uint8_t>(part)};
  for (auto& b : random.data) b = static_cast<uint8_t>(rng());
  CorpusFile skewed{"generated/skewed", std::vector<uint8_t>(part)};
  std::geometric_distribution<int> g(0.2);
  for (auto& b : skewed.data) b = static_cast<uint8_t>('a' + g(rng) % 26);
  CorpusFile counter{"generated/counter", {}};
  for (uint32_t i = 0; counter.data.size() < part; ++i) {
    counter.data.push_back(static_cast<uint8_t>(i));
    counter.data.push_back(static_cast<uint8_t>(i >> 8));
  }
  CorpusFile runs{"generated/runs", {}};
  while (runs.data.size() < part) runs.data.insert(runs.data.end(), 1 + rng() % 2000, static_cast<uint8_t>(rng()));
  for (auto* f : {&random, &skewed, &counter, &runs}) {
    total += f->data.size();
    out.push_back(std::move(*f));
  }
}

}  // namespace

std::vector<CorpusFile> BuildCorpus(size_t min_bytes) {
  std::vector<CorpusFile> out;
  size_t total = 0;
  AddTree("/usr/share/common-licenses", false, 4u << 20, Any, out, total);
  AddTree("/usr/share/dict", false, 8u << 20, Any, out, total);
  AddTree("/usr/share/doc", true, 10u << 20, PlainDoc, out, total);
  AddTree("/usr/bin", false, 16u << 20, Any, out, total);
  AddTree("/usr/lib/x86_64-linux-gnu", false, 16u << 20, Library, out, total);
  AddTree("/usr/share", true, 6u << 20, Image, out, total);
  AddGenerated(total < min_bytes ? std::max<size_t>(min_bytes - total, 4u << 20) : 4u << 20, out, total);
  return out;
}

std::vector<CorpusFile> BuildGeneratedCorpus(size_t bytes) {
  std::vector<CorpusFile> out;
  size_t total = 0;
  AddGenerated(bytes, out, total);
  return out;
}

}  // namespace bench
