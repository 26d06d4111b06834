# Run as: cmake -DVALIDATOR=glslangValidator -DSHADER_DIR=shaders -P CheckShaderInterface.cmake
# Links each program as the effect builds it and compares its active interface with the names
# the attribute and uniform binders feed. "adaptiveX" is declared but unread, so it is inactive.

# Names listed under `section` in glslangValidator's reflection output.
function(reflected_names output section result)
  string(REGEX MATCH "${section}:\n([^\n]+\n)*" block "${output}")
  string(REGEX MATCHALL "\n[A-Za-z_][A-Za-z0-9_]*:" lines "${block}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "[\n:]" "" name "${line}")
    list(APPEND names "${name}")
  endforeach()
  list(SORT names)
  set(${result} "${names}" PARENT_SCOPE)
endfunction()

set(failures 0)
# program: fragment file; expected uniforms (sorted)
foreach(program
    "swizzle.frag|videoTexture"
    "fxaa.frag|modeL;reduce_min;reduce_mult;resX;resY;span;strength;videoTexture")
  string(REPLACE "|" ";" fields "${program}")
  list(POP_FRONT fields fragment)
  set(expectedUniforms "${fields}")
  execute_process(
    COMMAND "${VALIDATOR}" -l -q "${SHADER_DIR}/quad.vert" "${SHADER_DIR}/${fragment}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(SEND_ERROR "quad.vert + ${fragment} do not link:\n${out}${err}")
    math(EXPR failures "${failures} + 1")
    continue()
  endif()
  reflected_names("${out}" "Uniform reflection" uniforms)
  reflected_names("${out}" "Pipeline input reflection" inputs)
  reflected_names("${out}" "Pipeline output reflection" outputs)
  foreach(check "uniforms|${expectedUniforms}" "inputs|tex;vertex" "outputs|colourOut")
    string(REPLACE "|" ";" parts "${check}")
    list(POP_FRONT parts kind)
    if(NOT "${${kind}}" STREQUAL "${parts}")
      message(SEND_ERROR "quad.vert + ${fragment}: active ${kind} are '${${kind}}', expected '${parts}'")
      math(EXPR failures "${failures} + 1")
    endif()
  endforeach()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} interface mismatches")
endif()
