// Inflate: the decoder of the deflate format (RFC 1951) for ZIP method 8.
//
// Input and output go through the member input/output of member_io.h.  Output leaves in
// blocks of exactly kMemberBlockSize bytes (the last one shorter).  The decoded bytes of
// every complete 32768 bytes of output are handed on while blocks are being decoded; what
// follows the last such point is handed on only once the last block has decoded, so a
// stream that fails stops with no further output.
//
// Failures inside a deflate block -- bad data, and any exception of the input or output
// other than a CancelSignal -- end decoding with a non-kOk status; the member is then
// short and fails its CRC.  A CancelSignal always passes on.  Exceptions from the final
// hand-over (after the last block) pass on too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "archiver/codecs/decode_table.h"
#include "archiver/codecs/member_io.h"

namespace codecs {

enum class InflateStatus : uint8_t {
  kOk = 0,
  kTruncated,        // the stream needs bits past the end of the input
  kBadBlockType,     // block type 3
  kBadStoredLength,  // a stored block's length and its complement disagree
  kTooManyCodes,     // more than 286 literal/length or 30 distance codes
  kBadCodeLengths,   // a code set that is over-subscribed or incomplete
  kBadRepeat,        // a code-length repeat that runs past the number of codes
  kInvalidCode,      // a code that stands for no symbol
  kDistanceTooFar,   // a distance reaching before the start of the output
  kStreamFailed,     // the input or output raised an exception inside a block
};

const char* InflateStatusText(InflateStatus status);

class Inflater {
 public:
  Inflater();
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Decodes one member.  The inflater keeps its buffers for the next member.
  InflateStatus Run(MemberInput& in, MemberOutput& out);

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// One-call forms for tests and benchmarks: `in` must be the whole deflate stream.
InflateStatus Inflate(MemberInput& in, MemberOutput& out);
InflateStatus InflateRaw(const uint8_t* in, size_t in_size, std::vector<uint8_t>& out);

}  // namespace codecs
