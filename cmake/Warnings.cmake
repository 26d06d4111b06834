# Warnings on, and treated as errors in our own code.
function(fxaa_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
                                             -Wno-error=deprecated-declarations)
  endif()
endfunction()
