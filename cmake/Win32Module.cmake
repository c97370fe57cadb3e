# ps_win32_module(<target> [NAME <module name>] [EXPORTS <file.def>] [RESOURCES <file.rc>]
#                 [RC_INCLUDES <dirs...>])
#
# Makes <target> a module in the Win32 sense.  The export table (.def syntax: one
# "Name @ordinal" per line under EXPORTS) is the single source of the module's exports:
#   - on the windows build it is the module's .def file;
#   - on POSIX it becomes a linker version script (only the listed names are exported)
#     and the ordinal table behind GetProcAddress(module, MAKEINTRESOURCEA(n)).
# The resource script is compiled by windres on both builds; on POSIX the .res is
# embedded in the module, where LoadStringA, FindResourceA and CreateDialogParamA find it.
find_program(PS_WINDRES NAMES i686-w64-mingw32-windres windres)

function(ps_parse_def def out_names out_ordinals out_library)
  file(STRINGS ${def} lines)
  set(names)
  set(ordinals)
  set(library "")
  set(in_exports FALSE)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE ";.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line MATCHES "^LIBRARY[ \t]+\"?([^ \t\"]+)\"?")
      set(library ${CMAKE_MATCH_1})
    elseif(line STREQUAL "EXPORTS")
      set(in_exports TRUE)
    elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)(@[0-9]+)?[ \t]*@[ \t]*([0-9]+)")
      list(APPEND names ${CMAKE_MATCH_1})
      list(APPEND ordinals ${CMAKE_MATCH_3})
    elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)")
      list(APPEND names ${CMAKE_MATCH_1})
      list(APPEND ordinals 0)
    endif()
  endforeach()
  set(${out_names} ${names} PARENT_SCOPE)
  set(${out_ordinals} ${ordinals} PARENT_SCOPE)
  set(${out_library} ${library} PARENT_SCOPE)
endfunction()

function(ps_win32_module target)
  cmake_parse_arguments(A "" "NAME;EXPORTS;RESOURCES" "RC_INCLUDES" ${ARGN})
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/${target}_module)
  set(module_name ${A_NAME})
  set(names)
  set(ordinals)
  if(A_EXPORTS)
    get_filename_component(def ${A_EXPORTS} ABSOLUTE)
    ps_parse_def(${def} names ordinals library)
    if(NOT module_name)
      set(module_name ${library})
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  endif()
  if(NOT module_name)
    set(module_name ${target})
  endif()

  if(WIN32)
    if(A_EXPORTS)
      target_sources(${target} PRIVATE ${def})
    endif()
    if(A_RESOURCES)
      target_sources(${target} PRIVATE ${A_RESOURCES})
    endif()
    return()
  endif()

  # Version script: the listed names and nothing else.
  if(A_EXPORTS)
    set(script "{\n  global:\n")
    foreach(n IN LISTS names)
      string(APPEND script "    ${n};\n")
    endforeach()
    string(APPEND script "  local:\n    *;\n};\n")
    file(GENERATE OUTPUT ${gen}.map CONTENT "${script}")
    target_link_options(${target} PRIVATE "LINKER:--version-script=${gen}.map")
    # A module's own references bind to its own definitions, as on Windows: another
    # module's DllMain or export of the same name never interposes.
    target_link_options(${target} PRIVATE "LINKER:-Bsymbolic")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${gen}.map)
  endif()

  # Resources.
  set(res_decl "")
  set(res_ref "nullptr, 0")
  set(res_file "")
  if(A_RESOURCES)
    if(NOT PS_WINDRES)
      message(FATAL_ERROR "windres not found: install binutils-mingw-w64-i686")
    endif()
    get_filename_component(rc ${A_RESOURCES} ABSOLUTE)
    get_filename_component(rc_dir ${rc} DIRECTORY)
    set(res_file ${gen}.res)
    set(incs -I ${rc_dir})
    foreach(d IN LISTS A_RC_INCLUDES)
      list(APPEND incs -I ${d})
    endforeach()
    add_custom_command(OUTPUT ${res_file}
      COMMAND ${PS_WINDRES} -J rc -O res ${incs} -i ${rc} -o ${res_file}
      DEPENDS ${rc} WORKING_DIRECTORY ${rc_dir}
      COMMENT "Compiling resources ${A_RESOURCES}" VERBATIM)
    add_custom_target(${target}_res DEPENDS ${res_file})
    add_dependencies(${target} ${target}_res)
    string(MAKE_C_IDENTIFIER ${target} cid)
    set(res_decl "__asm__(\".pushsection .rodata\\n.balign 16\\n.globl w32c_res_${cid}_begin\\n.hidden w32c_res_${cid}_begin\\nw32c_res_${cid}_begin:\\n.incbin \\\"${res_file}\\\"\\n.globl w32c_res_${cid}_end\\n.hidden w32c_res_${cid}_end\\nw32c_res_${cid}_end:\\n.popsection\\n\");\nextern \"C\" const unsigned char w32c_res_${cid}_begin[], w32c_res_${cid}_end[];\n")
    set(res_ref "w32c_res_${cid}_begin, static_cast<size_t>(w32c_res_${cid}_end - w32c_res_${cid}_begin)")
  endif()

  set(main_decl "")
  set(main_ref "nullptr")
  if("DllMain" IN_LIST names)
    set(main_decl "extern \"C\" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID);\n")
    set(main_ref "&DllMain")
  endif()
  set(table "")
  list(LENGTH names count)
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      list(GET names ${i} n)
      list(GET ordinals ${i} o)
      string(APPEND table "  {${o}, \"${n}\"},\n")
    endforeach()
  endif()
  string(APPEND table "  {0, nullptr}\n")

  file(GENERATE OUTPUT ${gen}.cpp CONTENT
"// Generated from the module's export table and resource script; do not edit.
#include <windows.h>
#include <win32compat/module_info.h>
${res_decl}${main_decl}
namespace {
const W32CExport kExports[] = {
${table}};
const W32CModuleInfo kModule = {\"${module_name}\", kExports, ${count}, ${res_ref}, ${main_ref}};
__attribute__((constructor)) void AttachModule() { Win32CompatModuleAttach(&kModule); }
__attribute__((destructor)) void DetachModule() { Win32CompatModuleDetach(&kModule); }
}  // namespace
")
  target_sources(${target} PRIVATE ${gen}.cpp)
  if(res_file)
    set_source_files_properties(${gen}.cpp PROPERTIES OBJECT_DEPENDS ${res_file})
  endif()
  target_link_libraries(${target} PRIVATE win32compat)
endfunction()
