# seqfx_add_plugin(<name> SOURCES <files...> [EXPORTS <symbols...>] [LIBRARIES <libs...>])
#
# Builds <name>.so into the build's module folder. Only the listed symbols
# (by default those of a standard sequence module) are exported; everything
# else is hidden. The export list is also written to plugin-exports/<name>,
# where the conformance test compares it with the module's symbol table.

set(SEQFX_STANDARD_EXPORTS
    plugin_seq_getversion plugin_getinfo plugin_init plugin_but_changed plugin_seq_doit
    varstr cfra name)

function(seqfx_add_plugin name)
  cmake_parse_arguments(ARG "" "" "SOURCES;EXPORTS;LIBRARIES" ${ARGN})
  if(NOT ARG_EXPORTS)
    set(ARG_EXPORTS ${SEQFX_STANDARD_EXPORTS})
  endif()
  add_library(${name} MODULE ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${SEQFX_PLUGIN_DIR}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/plugins/include)
  if(ARG_LIBRARIES)
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  endif()

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
endfunction()
