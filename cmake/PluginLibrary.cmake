# fxaa_plugin_library(<target> <SHARED|STATIC> [DEFINITIONS <definition>...]
#                     [SOURCES <source>...] [EXPORTS <dir>])
# Every build of the plug-in goes through here: the product (FXAA, and fxaa_effect for the tests
# that call its parts), the benchmark's copy with stage marks, the tests' copy with GPU fault
# points. Without DEFINITIONS it takes the objects compiled once for the product; with them the
# same sources are compiled again with those definitions added. Its diagnostics go to standard
# output, as the plug-in file's do (embedded copies link fxaa_embedded_effect instead). A SHARED
# one is a loadable library exporting what EXPORTS lists (resources/ by default, EffectMain).
function(fxaa_plugin_library target type)
  cmake_parse_arguments(arg "" "EXPORTS" "DEFINITIONS;SOURCES" ${ARGN})
  if(NOT type MATCHES "^(SHARED|STATIC)$")
    message(FATAL_ERROR "fxaa_plugin_library(${target}): SHARED or STATIC, not ${type}")
  endif()
  if(arg_DEFINITIONS)
    get_target_property(sources fxaa_objects SOURCES)
    add_library(${target} ${type} ${sources} ${arg_SOURCES})
    target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${target} PUBLIC fxaa::gl Threads::Threads)
    target_compile_definitions(${target} PUBLIC ${arg_DEFINITIONS})
    add_dependencies(${target} fxaa_shader_sources)
  else()
    add_library(${target} ${type} ${arg_SOURCES})
    target_link_libraries(${target} PUBLIC fxaa_objects)
  endif()
  target_link_libraries(${target} PRIVATE fxaa_diagnostics_stdout)
  fxaa_warnings(${target})
  if(type STREQUAL "SHARED")
    if(NOT arg_EXPORTS)
      set(arg_EXPORTS "${PROJECT_SOURCE_DIR}/resources")
    endif()
    set_target_properties(${target} PROPERTIES PREFIX "")
    fxaa_loadable_library(${target} "${arg_EXPORTS}")
  endif()
endfunction()
