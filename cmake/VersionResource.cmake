# fxaa_version_resource(<target> <description>): on Windows, the version resource of <target>'s
# file (resources/version_info.rc): file and product version, product, company, <description>,
# copyright and file name, all but the description from host/effect_version.h.
function(fxaa_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  file(GENERATE OUTPUT "${rc}" CONTENT
"#define FXAA_FILE_DESCRIPTION \"${description}\"
#define FXAA_ORIGINAL_FILE_NAME \"$<TARGET_FILE_NAME:${target}>\"
#define FXAA_FILE_TYPE $<IF:$<STREQUAL:$<TARGET_PROPERTY:${target},TYPE>,EXECUTABLE>,VFT_APP,VFT_DLL>
#include \"${PROJECT_SOURCE_DIR}/resources/version_info.rc\"
")
  target_sources(${target} PRIVATE "${rc}")
  set_source_files_properties("${rc}" TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/resources/version_info.rc;${PROJECT_SOURCE_DIR}/host/effect_version.h")
endfunction()
