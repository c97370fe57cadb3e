# Round trip of the compressor: compress at the level the first byte picks, then inflate
# (ours and zlib's) must give the input back.
ps_add_fuzzer(deflate_roundtrip_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/deflate_roundtrip_fuzzer.cpp
  LIBS zipcodecs ZLIB::ZLIB
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/deflate_roundtrip)
