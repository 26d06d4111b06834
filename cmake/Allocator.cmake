# fxaa::allocator: the memory allocator of the programs that render frame after frame (the fxaa
# tool and the benchmarks). On Linux it is jemalloc, set up by cli/process_memory_jemalloc.cpp
# to keep the large blocks a frame frees for the next frames. Sanitizer builds keep the C
# library's allocator, which the sanitizers replace, and so does Windows.
# FXAA_USE_JEMALLOC=OFF builds them on the C library's allocator, as before (for comparisons).
if(WIN32 OR FXAA_SANITIZE)
  set(fxaa_jemalloc_default OFF)
else()
  set(fxaa_jemalloc_default ON)
endif()
option(FXAA_USE_JEMALLOC "Run the fxaa tool and the benchmarks on jemalloc (Linux)"
       ${fxaa_jemalloc_default})
if(FXAA_USE_JEMALLOC AND (WIN32 OR FXAA_SANITIZE))
  message(FATAL_ERROR "FXAA_USE_JEMALLOC needs a Linux build without FXAA_SANITIZE (the "
                      "sanitizers replace the allocator)")
endif()
add_library(fxaa_allocator INTERFACE)
add_library(fxaa::allocator ALIAS fxaa_allocator)
if(FXAA_USE_JEMALLOC)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(JEMALLOC REQUIRED IMPORTED_TARGET jemalloc)
  target_sources(fxaa_allocator INTERFACE
    "${CMAKE_CURRENT_LIST_DIR}/../cli/process_memory_jemalloc.cpp")
  target_link_libraries(fxaa_allocator INTERFACE PkgConfig::JEMALLOC)
else()
  target_sources(fxaa_allocator INTERFACE
    "${CMAKE_CURRENT_LIST_DIR}/../cli/process_memory_system.cpp")
endif()
