# The folders the release archives hold, as install components, so that a file added to a build
# is added to its archive here, beside the Debian package's rules:
#   windows-release   the Windows zip's folder, which the installer installs too
#                     (scripts/windows-stage.sh)
#   portable-release  the top folder of the Linux tarball of a FXAA_PORTABLE build
#                     (scripts/portable-package.sh, which installs inside the Debian 11 userland)
# The scripts stage one with `cmake --install BUILD --component NAME --prefix DEST --strip`, then
# stamp the times and pack. EXCLUDE_FROM_ALL keeps them out of a plain install: the Debian
# package's stays as it was. Only what CMake 3.18 has, for the portable build.

# README.txt: the template with this version, in the line ends of the system it is read on.
function(fxaa_release_readme template newline out)
  set(VERSION "${PROJECT_VERSION}")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/${template}" "${out}" @ONLY
                 NEWLINE_STYLE ${newline})
endfunction()

# The frei0r filter's control descriptions for Kdenlive and Shotcut, beside it.
function(fxaa_release_frei0r_descriptions component)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/kdenlive/frei0r_fxaa.xml"
          DESTINATION frei0r/kdenlive COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/packaging/shotcut/fxaa"
          DESTINATION frei0r/shotcut COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()

set(fxaa_release_dir "${CMAKE_BINARY_DIR}/release")
set(fxaa_ofx_icon_source "${PROJECT_SOURCE_DIR}/openfx/resources/com.corvella.FXAA.png")

if(WIN32)
  set(fxaa_release COMPONENT windows-release EXCLUDE_FROM_ALL)
  install(TARGETS FXAA RUNTIME DESTINATION . ${fxaa_release})
  if(TARGET fxaa)
    install(TARGETS fxaa RUNTIME DESTINATION . ${fxaa_release})
  endif()
  if(TARGET fxaa_frei0r)
    install(TARGETS fxaa_frei0r LIBRARY DESTINATION frei0r ${fxaa_release})
    fxaa_release_frei0r_descriptions(windows-release)
  endif()
  if(TARGET fxaa_ofx)
    install(TARGETS fxaa_ofx LIBRARY DESTINATION openfx/FXAA.ofx.bundle/Contents/Win64
            ${fxaa_release})
    install(FILES "${fxaa_ofx_icon_source}" DESTINATION openfx/FXAA.ofx.bundle/Contents/Resources
            ${fxaa_release})
  endif()
  # CRLF, for Notepad.
  fxaa_release_readme(windows-readme.txt CRLF "${fxaa_release_dir}/README.txt")
  install(FILES "${fxaa_release_dir}/README.txt" DESTINATION . ${fxaa_release})
  install(FILES "${PROJECT_SOURCE_DIR}/docs/cli.md" "${PROJECT_SOURCE_DIR}/docs/frei0r.md"
                "${PROJECT_SOURCE_DIR}/docs/farm.md" "${PROJECT_SOURCE_DIR}/docs/openfx.md"
                "${PROJECT_SOURCE_DIR}/docs/windows.md"
          DESTINATION docs ${fxaa_release})
  # The notices are gathered from the link lines and the fetched sources of this build folder.
  install(CODE "
    execute_process(
      COMMAND bash \"${PROJECT_SOURCE_DIR}/scripts/windows-licences.sh\" \"${CMAKE_BINARY_DIR}\"
              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/licences\"
      OUTPUT_QUIET RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR \"Gathering the licence notices failed\")
    endif()" ${fxaa_release})
elseif(FXAA_PORTABLE)
  set(fxaa_release COMPONENT portable-release EXCLUDE_FROM_ALL)
  # Executable, as the modules are built: Debian's CMake installs libraries without the x bits.
  set(fxaa_module_permissions PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  install(TARGETS fxaa_ofx LIBRARY DESTINATION openfx/FXAA.ofx.bundle/Contents/Linux-x86-64
          ${fxaa_module_permissions} ${fxaa_release})
  install(FILES "${fxaa_ofx_icon_source}" DESTINATION openfx/FXAA.ofx.bundle/Contents/Resources
          ${fxaa_release})
  install(TARGETS fxaa_frei0r LIBRARY DESTINATION frei0r ${fxaa_module_permissions}
          ${fxaa_release})
  fxaa_release_frei0r_descriptions(portable-release)
  fxaa_release_readme(linux-readme.txt UNIX "${fxaa_release_dir}/README.txt")
  install(FILES "${fxaa_release_dir}/README.txt" DESTINATION . ${fxaa_release})
  install(FILES "${PROJECT_SOURCE_DIR}/docs/frei0r.md" "${PROJECT_SOURCE_DIR}/docs/openfx.md"
          DESTINATION docs ${fxaa_release})
  # The libraries linked in: GLEW, from the tree it was compiled from (GlewStatic), and gcc's
  # C++ runtime and libgcc, under the copyright of the Debian gcc that built them.
  install(FILES "${fxaa_glew_dir}/LICENSE.txt" DESTINATION licences/glew ${fxaa_release})
  if(EXISTS "${fxaa_glew_dir}/debian/copyright")
    install(FILES "${fxaa_glew_dir}/debian/copyright" DESTINATION licences/glew
            RENAME debian-copyright ${fxaa_release})
  endif()
  string(REGEX MATCH "^[0-9]+" fxaa_gcc_major "${CMAKE_CXX_COMPILER_VERSION}")
  set(fxaa_gcc_copyright "/usr/share/doc/gcc-${fxaa_gcc_major}-base/copyright")
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR NOT EXISTS "${fxaa_gcc_copyright}")
    message(FATAL_ERROR "The portable modules carry gcc's C++ runtime, whose notice is Debian's "
                        "${fxaa_gcc_copyright}: build them with Debian's gcc "
                        "(scripts/build-portable.sh)")
  endif()
  install(FILES "${fxaa_gcc_copyright}" DESTINATION "licences/gcc-${fxaa_gcc_major}"
          RENAME debian-copyright ${fxaa_release})
endif()
