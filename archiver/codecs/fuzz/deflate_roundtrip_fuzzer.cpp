// Fuzz target: the first byte picks the level (0-9) and the read piece size, the rest is
// the entry.  The stream must inflate, with our inflate and with zlib's, to the entry, and
// the reported size must be the bytes written.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "archiver/codecs/deflate.h"
#include "archiver/codecs/inflate.h"

namespace {

class FuzzIO final : public codecs::DeflateIO {
 public:
  FuzzIO(const uint8_t* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}
  size_t ReadInput(uint8_t* buffer, size_t size) override {
    size_t n = size_ - pos_;
    if (n > size) n = size;
    if (n > piece_) n = piece_;
    if (n) std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return n;
  }
  void WriteOutput(const uint8_t* data, size_t size) override {
    if (size == 0) std::abort();
    out.insert(out.end(), data, data + size);
  }
  std::vector<uint8_t> out;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t piece_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static std::unique_ptr<codecs::CompressorWorkspace> ws = codecs::MakeCompressorWorkspace();
  const int level = data[0] % 10;
  const size_t piece = (data[0] & 0x80) ? 1 + data[0] % 61 : SIZE_MAX;
  const uint8_t* in = data + 1;
  const size_t in_size = size - 1;

  FuzzIO io(in, in_size, piece);
  const codecs::DeflateResult r = codecs::DeflateEntry(*ws, io, level);
  if (r.compressed_size != io.out.size()) std::abort();
  if (r.compression_method == codecs::kMethodStored) {
    if (io.out.size() != in_size || (in_size && std::memcmp(io.out.data(), in, in_size) != 0)) std::abort();
    return 0;
  }
  std::vector<uint8_t> ours;
  if (codecs::InflateRaw(io.out.data(), io.out.size(), ours) != codecs::InflateStatus::kOk) std::abort();
  if (ours.size() != in_size || std::memcmp(ours.data(), in, in_size) != 0) std::abort();

  std::vector<uint8_t> z(in_size + 1);
  z_stream s{};
  inflateInit2(&s, -15);
  s.next_in = io.out.data();
  s.avail_in = static_cast<uInt>(io.out.size());
  s.next_out = z.data();
  s.avail_out = static_cast<uInt>(z.size());
  const int rc = inflate(&s, Z_FINISH);
  const size_t produced = s.total_out;
  inflateEnd(&s);
  if (rc != Z_STREAM_END || produced != in_size || std::memcmp(z.data(), in, in_size) != 0) std::abort();
  return 0;
}
