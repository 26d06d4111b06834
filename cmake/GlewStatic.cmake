# glew_static: GLEW compiled from source into the binaries that must run where no GLEW is
# installed: the Windows build, and the portable Linux modules (FXAA_PORTABLE), where it loads
# its entry points through EGL. FXAA_GLEW_SOURCE_DIR names a GLEW source tree (src/glew.c,
# include/GL/glew.h), such as an unpacked GLEW source release; left empty, Debian's glew source
# package is fetched once into a cache folder in the build folder by
# scripts/fetch-debian-source.sh.
set(FXAA_GLEW_SOURCE_DIR "" CACHE PATH "GLEW source tree holding src/glew.c and include/GL/glew.h")

if(NOT FXAA_GLEW_SOURCE_DIR)
  find_program(FXAA_BASH bash)
  if(NOT FXAA_BASH OR CMAKE_HOST_WIN32)
    message(FATAL_ERROR "Set FXAA_GLEW_SOURCE_DIR to an unpacked GLEW source release "
                        "(the folder that holds src/glew.c and include/GL/glew.h).")
  endif()
  execute_process(
    COMMAND "${FXAA_BASH}" "${PROJECT_SOURCE_DIR}/scripts/fetch-debian-source.sh" glew
            "${CMAKE_BINARY_DIR}/_deps/sources"
    OUTPUT_VARIABLE fxaa_glew_tree OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE fxaa_glew_result)
  if(NOT fxaa_glew_result EQUAL 0 OR NOT fxaa_glew_tree)
    message(FATAL_ERROR "Could not fetch GLEW's source (scripts/fetch-debian-source.sh failed); "
                        "set FXAA_GLEW_SOURCE_DIR to a GLEW source tree instead.")
  endif()
  set(fxaa_glew_dir "${fxaa_glew_tree}")
else()
  set(fxaa_glew_dir "${FXAA_GLEW_SOURCE_DIR}")
endif()

if(NOT EXISTS "${fxaa_glew_dir}/src/glew.c" OR NOT EXISTS "${fxaa_glew_dir}/include/GL/glew.h")
  message(FATAL_ERROR "${fxaa_glew_dir} is not a GLEW source tree (no src/glew.c or include/GL/glew.h)")
endif()
message(STATUS "GLEW compiled in, from ${fxaa_glew_dir}")

add_library(glew_static STATIC "${fxaa_glew_dir}/src/glew.c")
set_target_properties(glew_static PROPERTIES LINKER_LANGUAGE C)
# Static use, and no GLU: the effect calls nothing from it.
target_compile_definitions(glew_static PUBLIC GLEW_STATIC GLEW_NO_GLU)
# SYSTEM: GLEW's own header is not held to our warning flags.
target_include_directories(glew_static SYSTEM PUBLIC "${fxaa_glew_dir}/include")
if(WIN32)
  set_target_properties(glew_static PROPERTIES POSITION_INDEPENDENT_CODE OFF)
  target_link_libraries(glew_static PUBLIC opengl32)
else()
  # Entry points through eglGetProcAddress, so no GLX (and no X11) is needed, and through the
  # effect's own EGL loader (gl/egl_library.h), which opens libEGL only when a context is made:
  # nothing of GL or EGL is linked.
  target_compile_definitions(glew_static PUBLIC GLEW_EGL
                             PRIVATE eglGetProcAddress=FxaaEglGetProcAddress)
endif()
if(MSVC)
  target_compile_options(glew_static PRIVATE /W0)
else()
  target_compile_options(glew_static PRIVATE -w)
endif()
