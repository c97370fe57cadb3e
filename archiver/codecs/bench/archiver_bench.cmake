# archiver-bench: our CRC-32, deflate and inflate against zlib and libdeflate on a corpus
# the program gathers from the machine.  Built with PS_BENCH; never part of the test run
# except for a quick smoke run on a tiny generated corpus.
if(NOT PS_BENCH OR PS_FUZZ)
  return()
endif()

find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PS_LIBDEFLATE QUIET IMPORTED_TARGET libdeflate)
endif()

add_executable(archiver-bench
  ${CMAKE_CURRENT_LIST_DIR}/archiver_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bench_corpus.cpp)
target_link_libraries(archiver-bench PRIVATE zipcodecs ZLIB::ZLIB)
if(PS_LIBDEFLATE_FOUND)
  target_link_libraries(archiver-bench PRIVATE PkgConfig::PS_LIBDEFLATE)
  target_compile_definitions(archiver-bench PRIVATE PS_HAVE_LIBDEFLATE=1)
else()
  message(STATUS "libdeflate not found: archiver-bench leaves its column empty")
endif()
ps_warnings(archiver-bench)

if(BUILD_TESTING)
  add_test(NAME bench.archiver_bench_quick COMMAND archiver-bench --quick)
endif()
