// The benchmark corpus: a fixed list of places on a Debian machine (licence texts, the
// word list, documentation, programs, libraries, images), read in a stable order, plus
// generated data; files that are missing are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct CorpusFile {
  std::string name;
  std::vector<uint8_t> data;
};

// At least `min_bytes` in all when the machine has them (generated data tops it up).
std::vector<CorpusFile> BuildCorpus(size_t min_bytes);

// Only generated data, `bytes` in all: for the quick smoke run.
std::vector<CorpusFile> BuildGeneratedCorpus(size_t bytes);

}  // namespace bench
