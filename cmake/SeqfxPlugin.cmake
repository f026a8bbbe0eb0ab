# seqfx_add_plugin(<name> SOURCES <files...> [INTERNALS <files...>]
#                  [EXPORTS <symbols...>] [LIBRARIES <libs...>] [COMPILE_OPTIONS <opts...>]
#                  STRIPS <needed> [ACCEPTS <most>] [ENTRY standard|reduced|texture]
#                  [KEEPS_STATE] [NEEDS_DEPTH] [USES_FLOAT]
#                  DESCRIPTION "<one line for users>")
#
# Builds <name>.so into the build's module folder. Only the listed symbols
# (by default those of a standard sequence module) are exported; everything
# else is hidden. The export list is also written to plugin-exports/<name>,
# where the conformance test compares it with the module's symbol table.
#
# SOURCES hold the module's entries; INTERNALS the passes behind them, built
# once as the object library <name>_internals, which the module and its
# tests link (tests then include the module's own headers by name). The
# module folder is on the include path of both. COMPILE_OPTIONS apply to
# all of the module's files.
#
# The facts a host cannot read from the interface are declared here once and
# written beside the module as <name>.json (see seqfx_write_manifest): the
# strips it needs and the most it takes (inputs past the needed count are
# optional), whether it keeps state between frames, needs a depth plane or
# reads float pixels, its entry style, a description, and the demo settings
# of the folder's demo.cfg.

set(SEQFX_STANDARD_EXPORTS
    plugin_seq_getversion plugin_getinfo plugin_init plugin_but_changed plugin_seq_doit
    varstr cfra name)

function(seqfx_add_plugin name)
  cmake_parse_arguments(ARG "KEEPS_STATE;NEEDS_DEPTH;USES_FLOAT" "STRIPS;ACCEPTS;ENTRY;DESCRIPTION"
                        "SOURCES;INTERNALS;EXPORTS;LIBRARIES;COMPILE_OPTIONS" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "seqfx_add_plugin(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS} "
                        "(a description may not hold a semicolon)")
  endif()
  if(NOT ARG_EXPORTS)
    set(ARG_EXPORTS ${SEQFX_STANDARD_EXPORTS})
  endif()
  add_library(${name} MODULE ${ARG_SOURCES})
  set(_targets ${name})
  if(ARG_INTERNALS)
    add_library(${name}_internals OBJECT ${ARG_INTERNALS})
    set_target_properties(${name}_internals PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_include_directories(${name}_internals PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${name}_internals)
    list(APPEND _targets ${name}_internals)
  endif()
  foreach(_t ${_targets})
    set_target_properties(${_t} PROPERTIES
      C_VISIBILITY_PRESET hidden
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
    target_include_directories(${_t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                                             ${PROJECT_SOURCE_DIR}/plugins/include)
    target_link_libraries(${_t} PUBLIC seqfx_common ${ARG_LIBRARIES})
    if(ARG_COMPILE_OPTIONS)
      target_compile_options(${_t} PRIVATE ${ARG_COMPILE_OPTIONS})
    endif()
  endforeach()
  # Installed with its manifest into lib/seqfx/modules, where the seqfx
  # program looks; the host's allocator library is two folders up.
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${SEQFX_PLUGIN_DIR}
    INSTALL_RPATH "$ORIGIN/../..")
  install(TARGETS ${name} LIBRARY DESTINATION lib/seqfx/modules)
  install(FILES ${SEQFX_PLUGIN_DIR}/${name}.json DESTINATION lib/seqfx/modules)

  list(JOIN ARG_EXPORTS ";\n    " _syms)
  set(_map ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  file(WRITE ${_map} "{\n  global:\n    ${_syms};\n  local: *;\n};\n")
  target_link_options(${name} PRIVATE "-Wl,--version-script=${_map}")
  if(NOT SEQFX_SANITIZE)
    target_link_options(${name} PRIVATE "-Wl,--no-undefined")
  endif()
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${_map})

  list(JOIN ARG_EXPORTS "\n" _lines)
  file(WRITE ${SEQFX_EXPORTS_DIR}/${name} "${_lines}\n")
  set_property(GLOBAL APPEND PROPERTY SEQFX_PLUGIN_TARGETS ${name})

  # A folder named apart from its module (see seqfx_read_module_of) has its
  # page placed under the module's name too, where seqfx info looks for it.
  get_filename_component(_folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  if(SEQFX_BUILD_CLI AND NOT _folder STREQUAL name)
    set(_page ${PROJECT_SOURCE_DIR}/docs/modules/${_folder}.md)
    configure_file(${_page} ${CMAKE_BINARY_DIR}/share/doc/seqfx/modules/${name}.md COPYONLY)
    install(FILES ${_page} DESTINATION share/doc/seqfx/modules RENAME ${name}.md)
  endif()

  seqfx_write_manifest(${name})
endfunction()

# JSON string literal of a CMake string.
function(seqfx_json_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

function(seqfx_json_bool out flag)
  if(flag)
    set(${out} true PARENT_SCOPE)
  else()
    set(${out} false PARENT_SCOPE)
  endif()
endfunction()

# Writes <module dir>/<name>.json from the ARG_ values of seqfx_add_plugin
# (called from it, so it sees them).
macro(seqfx_write_manifest name)
  if(NOT ARG_STRIPS OR NOT ARG_DESCRIPTION)
    message(FATAL_ERROR "seqfx_add_plugin(${name}): STRIPS and DESCRIPTION are required")
  endif()
  if(NOT ARG_ACCEPTS)
    set(ARG_ACCEPTS ${ARG_STRIPS})
  endif()
  if(NOT ARG_ENTRY)
    set(ARG_ENTRY standard)
  endif()
  if(NOT ARG_STRIPS MATCHES "^[0-3]$" OR NOT ARG_ACCEPTS MATCHES "^[1-3]$" OR ARG_ACCEPTS LESS ARG_STRIPS)
    message(FATAL_ERROR "seqfx_add_plugin(${name}): STRIPS 0..3 and ACCEPTS STRIPS..3")
  endif()
  if(NOT ARG_ENTRY MATCHES "^(standard|reduced|texture)$")
    message(FATAL_ERROR "seqfx_add_plugin(${name}): ENTRY is standard, reduced or texture")
  endif()
  set(_demo "")
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/demo.cfg)
    file(READ ${CMAKE_CURRENT_SOURCE_DIR}/demo.cfg _demo)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/demo.cfg)
  endif()
  seqfx_json_string(_j_desc "${ARG_DESCRIPTION}")
  seqfx_json_string(_j_demo "${_demo}")
  seqfx_json_bool(_j_state "${ARG_KEEPS_STATE}")
  seqfx_json_bool(_j_depth "${ARG_NEEDS_DEPTH}")
  seqfx_json_bool(_j_float "${ARG_USES_FLOAT}")
  file(CONFIGURE OUTPUT ${SEQFX_PLUGIN_DIR}/${name}.json CONTENT "{
  \"module\": \"${name}\",
  \"description\": ${_j_desc},
  \"strips\": {\"needs\": ${ARG_STRIPS}, \"accepts\": ${ARG_ACCEPTS}},
  \"keeps_state\": ${_j_state},
  \"needs_depth\": ${_j_depth},
  \"uses_float\": ${_j_float},
  \"entry\": \"${ARG_ENTRY}\",
  \"demo\": ${_j_demo}
}
" @ONLY)
endmacro()

# The module a folder under plugins/sequence declares with its
# seqfx_add_plugin call, read before the folder is added (so that either
# name can select it) and kept for seqfx_module_of. The folder's name is
# the one its files share: docs/modules/<folder>.md,
# tests/plugins/<folder>_test.cpp, bench/<folder>_bench.cpp; it is the
# module's name unless the folder is named apart.
function(seqfx_read_module_of out dir)
  file(STRINGS ${dir}/CMakeLists.txt _declared REGEX "^seqfx_add_plugin\\(" LIMIT_COUNT 1)
  string(REGEX REPLACE "^seqfx_add_plugin\\(([A-Za-z0-9_]+).*" "\\1" _module "${_declared}")
  get_filename_component(_folder ${dir} NAME)
  set_property(GLOBAL PROPERTY SEQFX_MODULE_OF_${_folder} ${_module})
  set(${out} ${_module} PARENT_SCOPE)
endfunction()

# The module built from the files named <stem> (a folder's name): the
# module that folder declares, else <stem> itself.
function(seqfx_module_of out stem)
  get_property(_module GLOBAL PROPERTY SEQFX_MODULE_OF_${stem})
  if(NOT _module)
    set(_module ${stem})
  endif()
  set(${out} ${_module} PARENT_SCOPE)
endfunction()
