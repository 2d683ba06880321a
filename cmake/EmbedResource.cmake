# Writes a C++ source that defines the table of linked resources (see
# platform/api/linked_resources.h) holding one file as one resource.
#
#   cmake -DINPUT=file -DOUTPUT=table.cpp -DTYPE=10 -DID=106 -P EmbedResource.cmake
foreach(variable INPUT OUTPUT TYPE ID)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "EmbedResource: ${variable} is not set")
  endif()
endforeach()
if(NOT EXISTS "${INPUT}")
  message(FATAL_ERROR "EmbedResource: ${INPUT} does not exist")
endif()
file(SIZE "${INPUT}" size)
if(size EQUAL 0)
  message(FATAL_ERROR "EmbedResource: ${INPUT} is empty")
endif()

# Sixteen bytes to a line: cut the hex text into runs of 32 digits, then
# turn every pair of digits into a byte literal.
file(READ "${INPUT}" hex HEX)
string(REPEAT "[0-9a-f]" 32 line)
string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "\n$" "" bytes "${bytes}")
string(REPLACE "\n" "\n    " bytes "${bytes}")

get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.partial" "\
// Generated from ${name} by EmbedResource.cmake; changes here are overwritten.
#include \"platform/api/linked_resources.h\"

namespace {

const unsigned char ResourceBytes[] = {
    ${bytes}
};

}  // namespace

const LinkedResource LinkedResources[] = {
    {${TYPE}, ${ID}, ResourceBytes, sizeof ResourceBytes},
};
const std::size_t LinkedResourceCount = sizeof LinkedResources / sizeof LinkedResources[0];
")
file(RENAME "${OUTPUT}.partial" "${OUTPUT}")
