# Fuzz targets of the decoders: inflate, unshrink, unreduce, explode.  Seeds under
# corpus/<target>/ (made by make_seeds.py from the outside test archives and zlib).
set(_fz ${CMAKE_CURRENT_LIST_DIR})
foreach(t inflate unshrink unreduce explode)
  if(TARGET zipcodecs)
    ps_add_fuzzer(${t}_fuzz SOURCES ${_fz}/${t}_fuzz.cpp LIBS zipcodecs CORPUS ${_fz}/corpus/${t}_fuzz)
  endif()
endforeach()
