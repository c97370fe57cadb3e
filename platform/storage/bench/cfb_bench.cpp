// Writes and then reads 100 MB in 1000 streams through the storage interfaces and prints the
// rates, beside the same bytes written and read as one plain file for scale.
//   cfb_bench [DIR]   (scratch files go to DIR, default /tmp)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <storage/objbase.h>

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const std::string file = dir + "/cfb_bench.cfb", plain = dir + "/cfb_bench.raw";
  const int streams = 1000;
  const size_t each = 100 * 1000;  // 100 MB in all
  const double mb = double(streams) * double(each) / 1e6;
  std::vector<uint8_t> data(each);
  for (size_t i = 0; i < each; ++i) data[i] = uint8_t(i * 131 + (i >> 9));
  const DWORD create = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
  const DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

  auto t0 = std::chrono::steady_clock::now();
  IStorage* root = nullptr;
  if (FAILED(StgCreateDocfile(Wide(file).c_str(), create, 0, &root))) return 1;
  for (int i = 0; i < streams; ++i) {
    IStream* s = nullptr;
    std::u16string name = Wide("stream " + std::to_string(i));
    if (FAILED(root->CreateStream(name.c_str(), create, 0, 0, &s))) return 1;
    // Written in 4 KB pieces, as a tile writer would.
    for (size_t off = 0; off < each; off += 4096) {
      ULONG n = ULONG(each - off < 4096 ? each - off : 4096);
      if (FAILED(s->Write(data.data() + off, n, nullptr))) return 1;
    }
    s->Release();
  }
  if (FAILED(root->Commit(STGC_DEFAULT))) return 1;
  root->Release();
  double write_s = Seconds(t0);

  t0 = std::chrono::steady_clock::now();
  if (FAILED(StgOpenStorage(Wide(file).c_str(), nullptr, kRead, nullptr, 0, &root))) return 1;
  std::vector<uint8_t> buf(65536);
  uint64_t total = 0;
  for (int i = 0; i < streams; ++i) {
    IStream* s = nullptr;
    std::u16string name = Wide("stream " + std::to_string(i));
    if (FAILED(root->OpenStream(name.c_str(), nullptr, kRead, 0, &s))) return 1;
    ULONG got = 0;
    while (SUCCEEDED(s->Read(buf.data(), ULONG(buf.size()), &got)) && got) total += got;
    s->Release();
  }
  root->Release();
  double read_s = Seconds(t0);
  if (total != uint64_t(streams) * each) return 1;

  // The same bytes through plain write(2)/read(2), with the same fsync.
  t0 = std::chrono::steady_clock::now();
  int fd = open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (int i = 0; i < streams; ++i)
    if (write(fd, data.data(), each) != ssize_t(each)) return 1;
  fsync(fd);
  close(fd);
  double raw_write_s = Seconds(t0);
  t0 = std::chrono::steady_clock::now();
  fd = open(plain.c_str(), O_RDONLY);
  while (read(fd, buf.data(), buf.size()) > 0) {
  }
  close(fd);
  double raw_read_s = Seconds(t0);
  unlink(file.c_str());
  unlink(plain.c_str());

  std::printf("compound file, %d streams of %zu bytes (%.0f MB)\n", streams, each, mb);
  std::printf("  write+commit: %8.1f MB/s   (plain file %8.1f MB/s, ratio %.2f)\n", mb / write_s,
              mb / raw_write_s, raw_write_s / write_s);
  std::printf("  open+read:    %8.1f MB/s   (plain file %8.1f MB/s, ratio %.2f)\n", mb / read_s,
              mb / raw_read_s, raw_read_s / read_s);
  return 0;
}
