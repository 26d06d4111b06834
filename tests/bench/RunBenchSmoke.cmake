# Runs fxaa_bench (BENCH) for one small frame per case and checks that it succeeded and reported
# every case: its exit status says whether all paths drew the same pixels.
execute_process(
  COMMAND "${BENCH}" --sizes 64x64 --frames 1 --min-frames 1 --ratio-frames 0 --fixed-frames 2
          --data "${DATA}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "fxaa_bench failed (${status}):\n${err}\n${out}")
endif()

foreach(mode colour alpha)
  foreach(depth 8 32)
    # Once in the frames table (1 round) and once in the stages table.
    string(REGEX MATCHALL "\\| 64x64 \\| ${mode} \\| ${depth} \\| [0-9]" rows "${out}")
    list(LENGTH rows count)
    if(NOT count EQUAL 2)
      message(FATAL_ERROR "expected 2 rows for ${mode} ${depth}, found ${count}:\n${out}")
    endif()
  endforeach()
endforeach()
foreach(heading "### Frames" "### Stages of the plug-in's frame" "### Fixed cost per frame"
                "### Cost growth" "GL_RENDERER: ")
  string(FIND "${out}" "${heading}" at)
  if(at LESS 0)
    message(FATAL_ERROR "no \"${heading}\" in the report:\n${out}")
  endif()
endforeach()

# The plot data: one point per mode and depth.
file(STRINGS "${DATA}" lines REGEX "^[0-9]")
list(LENGTH lines points)
if(NOT points EQUAL 4)
  message(FATAL_ERROR "expected 4 plot points in ${DATA}, found ${points}")
endif()
