# Test conventions: every component keeps its tests beside it,
#   <component>/tests/*_test.cpp   GoogleTest files, one executable each
#   <component>/bench/             Google Benchmark or stand-alone benchmark programs
#   <component>/fuzz/              libFuzzer targets, seed corpora under fuzz/corpus/<target>/
find_package(GTest REQUIRED)
include(GoogleTest)

set(PS_FUZZ_SECONDS 20 CACHE STRING "Seconds each fuzz target runs in the fuzz preset's tests")
set(PS_TESTDATA_DIR "${CMAKE_SOURCE_DIR}/../shared/testdata" CACHE PATH "Outside test files")
get_filename_component(PS_TESTDATA_DIR "${PS_TESTDATA_DIR}" ABSOLUTE)

# ps_add_gtests(<prefix> DIR <dir> LIBS <libs...> [DEFINES <defs...>])
# One test executable <prefix>_<file> per <dir>/*_test.cpp.
function(ps_add_gtests prefix)
  cmake_parse_arguments(A "" "DIR" "LIBS;DEFINES;INCLUDES" ${ARGN})
  if(NOT BUILD_TESTING OR PS_FUZZ)
    return()
  endif()
  file(GLOB files CONFIGURE_DEPENDS ${A_DIR}/*_test.cpp)
  foreach(f IN LISTS files)
    get_filename_component(stem ${f} NAME_WE)
    set(exe ${prefix}_${stem})
    add_executable(${exe} ${f})
    target_link_libraries(${exe} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    target_compile_definitions(${exe} PRIVATE
      PS_TESTDATA_DIR="${PS_TESTDATA_DIR}"
      PS_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      PS_BINARY_DIR="${CMAKE_BINARY_DIR}"
      ${A_DEFINES})
    target_include_directories(${exe} PRIVATE ${A_INCLUDES})
    ps_warnings(${exe})
    gtest_discover_tests(${exe} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "WIN32COMPAT_REGISTRY=${CMAKE_BINARY_DIR}/test-registry")
  endforeach()
endfunction()

# ps_add_fuzzer(<name> SOURCES <src...> LIBS <libs...> CORPUS <dirs...>)
# With PS_FUZZ the target is a libFuzzer binary, and its test fuzzes for PS_FUZZ_SECONDS
# starting from the seed directories.  Without it the same entry point is linked to a
# replay driver and its test runs every seed once, so the seeds stay regression tests
# under the default and sanitizer builds.
function(ps_add_fuzzer name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;CORPUS;DEPENDS" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
  if(PS_FUZZ)
    add_executable(${name} ${A_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    add_executable(${name} ${A_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/fuzz_replay_main.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  ps_warnings(${name})
  if(A_DEPENDS)
    add_dependencies(${name} ${A_DEPENDS})
  endif()
  if(PS_FUZZ)
    set(work ${CMAKE_BINARY_DIR}/fuzz-work/${name})
    add_test(NAME fuzz.${name}
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
              ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${name}> -DWORK=${work}
              -DSECONDS=${PS_FUZZ_SECONDS} "-DSEEDS=${A_CORPUS}"
              -P ${CMAKE_SOURCE_DIR}/cmake/RunFuzzer.cmake)
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 600)
  else()
    add_test(NAME replay.${name} COMMAND ${name} ${A_CORPUS})
  endif()
endfunction()
