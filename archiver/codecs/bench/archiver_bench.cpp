// archiver-bench: our CRC-32, deflate (levels 1, 6, 8, 9) and inflate (of our level-8
// output) against zlib (same level, window bits -15, memory level 8) and libdeflate on the
// same corpus in the same run.  Prints one tab-separated row per operation; each speed is
// the median of several runs.  Absolute figures on a shared machine are noise: read the
// ratios.
//
//   archiver-bench [--quick] [--runs N] [--min-mb N]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if PS_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "archiver/codecs/crc32.h"
#include "archiver/codecs/deflate.h"
#include "archiver/codecs/inflate.h"
#include "bench_corpus.h"

namespace {

using bench::CorpusFile;
using Clock = std::chrono::steady_clock;

// Reads from memory, writes into a buffer that is reused across entries.
class BenchIO final : public codecs::DeflateIO {
 public:
  void Reset(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
    in_ = &in;
    pos_ = 0;
    out_ = &out;
    out.clear();
  }
  size_t ReadInput(uint8_t* buffer, size_t size) override {
    const size_t n = std::min(size, in_->size() - pos_);
    std::memcpy(buffer, in_->data() + pos_, n);
    pos_ += n;
    return n;
  }
  void WriteOutput(const uint8_t* data, size_t size) override { out_->insert(out_->end(), data, data + size); }

 private:
  const std::vector<uint8_t>* in_ = nullptr;
  size_t pos_ = 0;
  std::vector<uint8_t>* out_ = nullptr;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Median seconds of `runs` runs of `fn`.
double Time(int runs, const std::function<void()>& fn) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    const auto a = Clock::now();
    fn();
    t.push_back(std::chrono::duration<double>(Clock::now() - a).count());
  }
  return Median(t);
}

std::string Fmt(double v, const char* f = "%.1f") {
  if (v < 0) return "-";
  char b[64];
  std::snprintf(b, sizeof b, f, v);
  return b;
}

void Row(const char* op, const std::string& level, double ours, double zlib, double libdeflate,
         long long ours_bytes, long long zlib_bytes) {
  std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", op, level.c_str(), Fmt(ours).c_str(), Fmt(zlib).c_str(),
              Fmt(libdeflate).c_str(), ours_bytes < 0 ? "-" : std::to_string(ours_bytes).c_str(),
              zlib_bytes < 0 ? "-" : std::to_string(zlib_bytes).c_str(),
              Fmt(zlib > 0 ? ours / zlib : -1, "%.3f").c_str(),
              Fmt(zlib_bytes > 0 && ours_bytes >= 0 ? double(ours_bytes) / double(zlib_bytes) : -1, "%.4f").c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  int runs = 3;
  size_t min_mb = 50;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      quick = true;
    } else if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--min-mb" && i + 1 < argc) {
      min_mb = static_cast<size_t>(std::max(1, std::atoi(argv[++i])));
    } else {
      std::fprintf(stderr, "usage: archiver-bench [--quick] [--runs N] [--min-mb N]\n");
      return 2;
    }
  }
  const std::vector<CorpusFile> corpus =
      quick ? bench::BuildGeneratedCorpus(1u << 20) : bench::BuildCorpus(min_mb << 20);
  if (quick) runs = 1;
  size_t total = 0;
  for (const auto& f : corpus) total += f.data.size();
  const double mb = double(total) / 1e6;
  std::fprintf(stderr, "corpus: %zu files, %.1f MB; median of %d runs\n", corpus.size(), mb, runs);

  std::printf("op\tlevel\tours_MBps\tzlib_MBps\tlibdeflate_MBps\tours_bytes\tzlib_bytes\t"
              "ratio_speed_vs_zlib\tratio_size_vs_zlib\n");

  // CRC-32.
  {
    volatile uint32_t sink = 0;
    const double ours = Time(runs, [&] {
      for (const auto& f : corpus) sink = sink + codecs::Crc32Update(0xFFFFFFFFu, f.data.data(), f.data.size());
    });
    const double zl = Time(runs, [&] {
      for (const auto& f : corpus) sink = sink + static_cast<uint32_t>(crc32(0, f.data.data(), static_cast<uInt>(f.data.size())));
    });
    double ld = -1;
#if PS_HAVE_LIBDEFLATE
    ld = mb / Time(runs, [&] {
      for (const auto& f : corpus) sink = sink + libdeflate_crc32(0, f.data.data(), f.data.size());
    });
#endif
    Row("crc32", "-", mb / ours, mb / zl, ld, -1, -1);
  }

  auto workspace = codecs::MakeCompressorWorkspace();
  BenchIO io;
  std::vector<std::vector<uint8_t>> level8(corpus.size());
  std::vector<bool> level8_deflated(corpus.size());
  std::vector<uint8_t> out, zout;

  for (int level : {1, 6, 8, 9}) {
    long long ours_bytes = 0, zlib_bytes = 0;
    const double ours = Time(runs, [&] {
      ours_bytes = 0;
      for (size_t i = 0; i < corpus.size(); ++i) {
        io.Reset(corpus[i].data, out);
        const codecs::DeflateResult r = codecs::DeflateEntry(*workspace, io, level);
        ours_bytes += static_cast<long long>(r.compressed_size);
        if (level == 8) {
          level8[i] = out;
          level8_deflated[i] = r.compression_method == codecs::kMethodDeflated;
        }
      }
    });
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    const double zl = Time(runs, [&] {
      zlib_bytes = 0;
      for (const auto& f : corpus) {
        deflateReset(&z);
        zout.resize(deflateBound(&z, f.data.size()));
        z.next_in = const_cast<Bytef*>(f.data.data());
        z.avail_in = static_cast<uInt>(f.data.size());
        z.next_out = zout.data();
        z.avail_out = static_cast<uInt>(zout.size());
        deflate(&z, Z_FINISH);
        zlib_bytes += static_cast<long long>(z.total_out);
      }
    });
    deflateEnd(&z);
    double ld = -1;
#if PS_HAVE_LIBDEFLATE
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    ld = mb / Time(runs, [&] {
      for (const auto& f : corpus) {
        zout.resize(libdeflate_deflate_compress_bound(c, f.data.size()));
        libdeflate_deflate_compress(c, f.data.data(), f.data.size(), zout.data(), zout.size());
      }
    });
    libdeflate_free_compressor(c);
#endif
    Row("deflate", std::to_string(level), mb / ours, mb / zl, ld, ours_bytes, zlib_bytes);
  }

  // Inflate of our level-8 streams (entries stored whole are left out).
  {
    double out_mb = 0;
    long long in_bytes = 0;
    for (size_t i = 0; i < corpus.size(); ++i)
      if (level8_deflated[i]) {
        out_mb += double(corpus[i].data.size()) / 1e6;
        in_bytes += static_cast<long long>(level8[i].size());
      }
    bool ok = true;
    codecs::Inflater inflater;
    std::vector<uint8_t> dec;
    const double ours = Time(runs, [&] {
      for (size_t i = 0; i < corpus.size(); ++i) {
        if (!level8_deflated[i]) continue;
        dec.clear();
        codecs::MemoryInput in(level8[i].data(), level8[i].size());
        codecs::MemoryOutput o(dec);
        if (inflater.Run(in, o) != codecs::InflateStatus::kOk || dec != corpus[i].data) ok = false;
      }
    });
    z_stream z{};
    inflateInit2(&z, -15);
    const double zl = Time(runs, [&] {
      for (size_t i = 0; i < corpus.size(); ++i) {
        if (!level8_deflated[i]) continue;
        inflateReset(&z);
        dec.resize(corpus[i].data.size());
        z.next_in = level8[i].data();
        z.avail_in = static_cast<uInt>(level8[i].size());
        z.next_out = dec.data();
        z.avail_out = static_cast<uInt>(dec.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END) ok = false;
      }
    });
    inflateEnd(&z);
    double ld = -1;
#if PS_HAVE_LIBDEFLATE
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    ld = out_mb / Time(runs, [&] {
      for (size_t i = 0; i < corpus.size(); ++i) {
        if (!level8_deflated[i]) continue;
        dec.resize(corpus[i].data.size());
        if (libdeflate_deflate_decompress(d, level8[i].data(), level8[i].size(), dec.data(), dec.size(),
                                          nullptr) != LIBDEFLATE_SUCCESS)
          ok = false;
      }
    });
    libdeflate_free_decompressor(d);
#endif
    Row("inflate", "8", out_mb / ours, out_mb / zl, ld, in_bytes, -1);
    if (!ok) {
      std::fprintf(stderr, "archiver-bench: a level-8 stream did not inflate to its input\n");
      return 1;
    }
  }
  return 0;
}
