# A library a host program loads: only what its export list names leaves it (DIR/exports.def on
# Windows, the version script DIR/exports.map elsewhere), it links with every symbol resolved, and
# with mingw it carries the C and C++ runtimes inside, so nothing has to travel beside it. A
# portable Linux build (FXAA_PORTABLE) carries libstdc++ and libgcc inside, their names hidden
# (the host may load another C++ runtime of its own).
function(fxaa_loadable_library target dir)
  if(WIN32)
    target_sources(${target} PRIVATE "${dir}/exports.def")
    if(MINGW)
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
  else()
    target_link_options(${target} PRIVATE "-Wl,--version-script=${dir}/exports.map"
                        -Wl,--no-undefined)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS "${dir}/exports.map")
    if(FXAA_PORTABLE)
      target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc
                          -Wl,--exclude-libs,ALL)
    endif()
  endif()
endfunction()
