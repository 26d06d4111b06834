# The Debian package of the tool and the plug-in, made by CPack (scripts/package.sh runs it):
# fxaa in bin, FXAA.so in lib/fxaa where the tool looks, the frei0r filter fxaa.so in
# lib/frei0r-1 where ffmpeg, MLT and GStreamer look (frei0r/CMakeLists.txt), the filter's
# control descriptions for Kdenlive and Shotcut, the manual page, bash completion, the guide, and
# a copyright file naming every library the installed binaries link.
if(WIN32 OR NOT TARGET fxaa)
  return()
endif()

find_program(FXAA_GZIP gzip REQUIRED)
set(fxaa_pkg "${CMAKE_BINARY_DIR}/packaging")

# The package is built for the Debian release it is built on, against its libraries: its version
# names the release (1.2.0~deb13), so that the packages of two releases sit side by side.
set(FXAA_DEB_VERSION "${PROJECT_VERSION}")
set(fxaa_release_name stable)
if(EXISTS /etc/os-release)
  file(STRINGS /etc/os-release fxaa_os REGEX "^(ID|VERSION_ID|VERSION_CODENAME)=")
  if("ID=debian" IN_LIST fxaa_os)
    foreach(line IN LISTS fxaa_os)
      if(line MATCHES "^VERSION_ID=\"?([0-9]+)")
        set(FXAA_DEB_VERSION "${PROJECT_VERSION}~deb${CMAKE_MATCH_1}")
      elseif(line MATCHES "^VERSION_CODENAME=\"?([a-z]+)")
        set(fxaa_release_name "${CMAKE_MATCH_1}")
      endif()
    endforeach()
  endif()
endif()

# A native package's changelog: one entry for this version. Its date is the build's, or
# SOURCE_DATE_EPOCH's when set, so a release rebuilt from the same commit is the same file.
string(TIMESTAMP fxaa_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${fxaa_pkg}/changelog"
  "fxaa (${FXAA_DEB_VERSION}) ${fxaa_release_name}; urgency=medium\n\n"
  "  * Release ${PROJECT_VERSION}.\n\n"
  " -- Corvella <fxaa@corvella.example>  ${fxaa_changelog_date}\n")

# gzip -n: no name or time stamp inside, so the files depend on their contents alone.
set(fxaa_gzipped "")
foreach(pair "${PROJECT_SOURCE_DIR}/docs/fxaa.1=fxaa.1.gz" "${fxaa_pkg}/changelog=changelog.gz")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 in)
  list(GET pair 1 out)
  add_custom_command(OUTPUT "${fxaa_pkg}/${out}"
    COMMAND "${FXAA_GZIP}" -9 -n -c "${in}" > "${fxaa_pkg}/${out}"
    DEPENDS "${in}" VERBATIM)
  list(APPEND fxaa_gzipped "${fxaa_pkg}/${out}")
endforeach()
add_custom_target(fxaa_package_files ALL DEPENDS ${fxaa_gzipped})

install(FILES "${fxaa_pkg}/fxaa.1.gz" DESTINATION share/man/man1)
install(FILES "${PROJECT_SOURCE_DIR}/packaging/fxaa.bash-completion"
        DESTINATION share/bash-completion/completions RENAME fxaa)
# The README and every user guide it names that applies on Linux.
install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/docs/cli.md"
              "${PROJECT_SOURCE_DIR}/docs/frei0r.md" "${PROJECT_SOURCE_DIR}/docs/farm.md"
              "${PROJECT_SOURCE_DIR}/docs/openfx.md"
              "${fxaa_pkg}/changelog.gz"
        DESTINATION share/doc/fxaa)
# Without these the editors still list the filter, with MLT's plain 0-to-1 controls.
if(TARGET fxaa_frei0r)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/kdenlive/frei0r_fxaa.xml"
          DESTINATION share/kdenlive/effects)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/shotcut/fxaa/meta.qml"
                "${PROJECT_SOURCE_DIR}/packaging/shotcut/fxaa/ui.qml"
          DESTINATION share/shotcut/qml/filters/fxaa)
endif()

# The copyright file is written from the installed binaries, so a library linked later is named
# without an edit here. CLI11 is compiled in from its headers and shows in no dynamic section.
# It needs dpkg's database; elsewhere an install goes without it.
find_program(FXAA_DPKG_QUERY dpkg-query)
if(FXAA_DPKG_QUERY)
  set(fxaa_binaries "\"\${root}/bin/fxaa\" \"\${root}/lib/fxaa/FXAA.so\"")
  if(TARGET fxaa_frei0r)
    string(APPEND fxaa_binaries " \"\${root}/lib/frei0r-1/fxaa.so\"")
  endif()
  if(TARGET fxaa_ofx)
    string(APPEND fxaa_binaries
           " \"\${root}/OFX/Plugins/FXAA.ofx.bundle/Contents/Linux-x86-64/FXAA.ofx\"")
  endif()
  install(CODE "
    set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    execute_process(
      COMMAND bash \"${PROJECT_SOURCE_DIR}/packaging/debian-copyright.sh\"
              \"\${root}/share/doc/fxaa/copyright\" --compiled-in libcli11-dev
              ${fxaa_binaries}
      RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR \"Writing the package's copyright file failed\")
    endif()")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fxaa)
set(CPACK_PACKAGE_VENDOR Corvella)
set(CPACK_PACKAGE_CONTACT "Corvella <fxaa@corvella.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_VERSION "${FXAA_DEB_VERSION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # fxaa_<version>~deb<release>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvella.example/fxaa")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Mesa's EGL and its software renderer: what the plug-in renders with where no GPU driver is.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libegl-mesa0, libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "anti-aliasing of images and videos with the FXAA effect plug-in\n"
  "fxaa removes jaggies from PNG, OpenEXR, TIFF and JPEG images, numbered image sequences\n"
  "and videos (through FFmpeg's libraries, other streams copied unchanged).\n"
  "It loads the FXAA effect plug-in (FXAA.so, installed with it) and drives it\n"
  "as a compositing host does, rendering through OpenGL 3.2 over EGL: on a\n"
  "graphics card, or on Mesa's software renderer where there is none. No display\n"
  "is needed.\n"
  ".\n"
  "The package also holds the effect as a frei0r filter (fxaa), which FFmpeg\n"
  "(-vf frei0r=fxaa), MLT, Kdenlive, Shotcut and GStreamer (frei0r-filter-fxaa)\n"
  "find without settings, with its five controls described for Kdenlive and\n"
  "Shotcut, and as an OpenFX plug-in (FXAA.ofx.bundle in /usr/OFX/Plugins) for\n"
  "OpenFX hosts such as DaVinci Resolve and Natron.")
include(CPack)
