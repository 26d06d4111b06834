# Cross-building the Windows plug-in (64-bit) with Debian's mingw-w64.
# The -posix compilers are the ones whose C++ runtime has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FXAA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FXAA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FXAA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FXAA_MINGW_TRIPLE}-windres)

# Libraries, headers and packages come from the mingw sysroot (Debian puts it under /usr/<triple>)
# and from the prefix the Windows build script installs its own dependencies into; programs
# (windres, python) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${FXAA_MINGW_TRIPLE})
if(FXAA_WINDOWS_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH "${FXAA_WINDOWS_DEPS_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine; the wrapper provides the X server, prefix and time limit.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
# List the test cases when the tests run, not at build time, so building needs no Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# Every program and library carries its C and C++ runtime (and winpthread) inside, so nothing
# beyond Windows' own libraries has to travel with it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# ...and static archives are linked, never the import library of a DLL: a DLL that is not part
# of Windows would have to travel with the program. (CMake's Windows platform file puts .dll.a
# first among the library suffixes after this file is read, so FindZLIB's own switch is needed
# for mingw's zlib, which comes as both.)
set(ZLIB_USE_STATIC_LIBS ON)
# A build folder configured before that switch keeps the import library it found.
if(ZLIB_LIBRARY_RELEASE MATCHES "\\.dll\\.a$")
  unset(ZLIB_LIBRARY_RELEASE CACHE)
endif()
