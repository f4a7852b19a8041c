# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a C++ source that returns the bytes of INPUT from FUNCTION (namespace velmora), so a
# program built by the project can be carried inside another one.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=Name -DHEADER=path/to/header.h -P embed_file.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include \"${HEADER}\"\n\n"
  "namespace velmora {\n"
  "namespace {\n"
  "const unsigned char kBytes[${size}] = {\n${bytes}\n};\n"
  "}  // namespace\n\n"
  "std::string_view ${FUNCTION}() {\n"
  "    return {reinterpret_cast<const char*>(kBytes), sizeof kBytes};\n"
  "}\n\n"
  "}  // namespace velmora\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
