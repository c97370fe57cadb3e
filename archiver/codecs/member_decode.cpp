#include "archiver/codecs/member_decode.h"

#include "archiver/codecs/explode.h"
#include "archiver/codecs/inflate.h"
#include "archiver/codecs/unreduce.h"
#include "archiver/codecs/unshrink.h"

namespace codecs {

bool IsKnownMethod(uint16_t method) { return method <= 6 || method == 8; }

DecodeOutcome DecodeMember(uint16_t method, uint16_t flags, uint64_t compressed_size, uint64_t uncompressed_size,
                           MemberInput& in, MemberOutput& out) {
  auto legacy = [](LegacyStatus s) { return s == LegacyStatus::kOk ? DecodeOutcome::kOk : DecodeOutcome::kFailed; };
  switch (method) {
    case 0:
      // Stored: every input block goes out as it is.
      for (std::span<const uint8_t> b = in.NextBlock(); !b.empty(); b = in.NextBlock()) out.Write(b.data(), b.size());
      return DecodeOutcome::kOk;
    case 1:
      return legacy(Unshrink(in, out));
    case 2:
    case 3:
    case 4:
    case 5:
      return legacy(Unreduce(in, out, method - 1u, uncompressed_size));
    case 6:
      return legacy(Explode(in, out, flags, compressed_size, uncompressed_size));
    case 8:
      return Inflate(in, out) == InflateStatus::kOk ? DecodeOutcome::kOk : DecodeOutcome::kFailed;
    default:
      return DecodeOutcome::kUnknownMethod;
  }
}

}  // namespace codecs
