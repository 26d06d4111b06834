# fxaa::gl: GLEW plus what the platform's context backend links against.
add_library(fxaa_gl_deps INTERFACE)
add_library(fxaa::gl ALIAS fxaa_gl_deps)

if(WIN32)
  include(GlewStatic)   # builds GLEW from Debian's source package into the build folder
  target_link_libraries(fxaa_gl_deps INTERFACE glew_static opengl32 gdi32 user32)
elseif(FXAA_PORTABLE)
  include(GlewStatic)   # GLEW inside; EGL opened, and GL reached through it, at the first context
  target_link_libraries(fxaa_gl_deps INTERFACE glew_static ${CMAKE_DL_LIBS})
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(FXAA_EGL REQUIRED IMPORTED_TARGET egl glew)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL)
  # -lGL after -lGLEW: Debian's GLEW resolves its GL 1.1 entry points from libGL.
  target_link_libraries(fxaa_gl_deps INTERFACE PkgConfig::FXAA_EGL OpenGL::GL)
endif()
