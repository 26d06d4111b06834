# Turns text files into one generated C++ source of process-wide std::string constants.
#
# Included, it defines
#   fxaa_embed_texts(OUTPUT <file.cpp> HEADER <include> TEXTS <name> <file> [<name> <file>...])
# which adds the build rule. The rule runs this file again as a script (cmake -P), which writes
# each file as an array of byte values: no character in a text, NUL included, needs escaping,
# and every text comes out byte for byte as it is in its file.

function(fxaa_embed_texts)
  cmake_parse_arguments(PARSE_ARGV 0 EMBED "" "OUTPUT;HEADER" "TEXTS")
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_FILE}")
  list(LENGTH EMBED_TEXTS pairLength)
  math(EXPR odd "${pairLength} % 2")
  if(NOT EMBED_OUTPUT OR NOT EMBED_HEADER OR pairLength EQUAL 0 OR odd)
    message(FATAL_ERROR "fxaa_embed_texts: OUTPUT, HEADER and TEXTS name/file pairs are needed")
  endif()
  math(EXPR count "${pairLength} / 2")
  math(EXPR last "${count} - 1")
  set(defines "-DEMBED_OUTPUT=${EMBED_OUTPUT}" "-DEMBED_HEADER=${EMBED_HEADER}"
              "-DEMBED_COUNT=${count}")
  set(files "")
  foreach(index RANGE ${last})
    math(EXPR nameAt "${index} * 2")
    math(EXPR fileAt "${index} * 2 + 1")
    list(GET EMBED_TEXTS ${nameAt} name)
    list(GET EMBED_TEXTS ${fileAt} file)
    get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND defines "-DEMBED_NAME_${index}=${name}" "-DEMBED_FILE_${index}=${file}")
    list(APPEND files "${file}")
  endforeach()
  add_custom_command(
    OUTPUT "${EMBED_OUTPUT}"
    COMMAND "${CMAKE_COMMAND}" ${defines} -P "${script}"
    DEPENDS ${files} "${script}"
    COMMENT "Embedding ${count} text files into ${EMBED_OUTPUT}"
    VERBATIM)
endfunction()

if(NOT CMAKE_SCRIPT_MODE_FILE OR NOT DEFINED EMBED_COUNT)
  return()
endif()

# Script mode: write the source.
math(EXPR last "${EMBED_COUNT} - 1")
set(fromFiles "")
set(arrays "")
set(texts "")
foreach(index RANGE ${last})
  set(name "${EMBED_NAME_${index}}")
  set(file "${EMBED_FILE_${index}}")
  if(NOT name MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    message(FATAL_ERROR "EmbedShaders: '${name}' is not a C++ identifier")
  endif()
  file(READ "${file}" hex HEX)
  # Every byte as 0xNN, 16 a line; a final 0 keeps an empty file a valid array.
  string(LENGTH "${hex}" hexLength)
  set(bytes "")
  set(position 0)
  while(position LESS hexLength)
    string(SUBSTRING "${hex}" ${position} 32 chunk)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," chunk "${chunk}")
    string(APPEND bytes "    ${chunk}\n")
    math(EXPR position "${position} + 32")
  endwhile()
  get_filename_component(fileName "${file}" NAME)
  string(APPEND fromFiles " ${fileName}")
  string(APPEND arrays "// ${fileName}\nconst unsigned char ${name}Bytes[] = {\n${bytes}    0x00};\n\n")
  string(APPEND texts "const std::string ${name}(reinterpret_cast<const char*>(${name}Bytes),\n"
                      "                             sizeof ${name}Bytes - 1);\n")
endforeach()

set(body "// Generated at build time from${fromFiles}: edit those files, not this one.\n")
string(APPEND body "#include \"${EMBED_HEADER}\"\n\nnamespace {\n\n${arrays}}  // namespace\n\n${texts}")
# The rule runs only when a text changed, so the source is simply rewritten.
file(WRITE "${EMBED_OUTPUT}" "${body}")
