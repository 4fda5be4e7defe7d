# Script mode: cmake -DOUTPUT=<file.cpp> -DPNGS=<a.png;b.png;...> -P EmbedIconPngs.cmake
# Writes a C++ source holding each PNG file as a byte array, in the order
# given, behind platform::WindowIconPngs().

if(NOT OUTPUT OR NOT PNGS)
  message(FATAL_ERROR "EmbedIconPngs.cmake needs OUTPUT and PNGS")
endif()

set(bytes_per_line 16)
string(REPEAT "0x[0-9a-f][0-9a-f], " ${bytes_per_line} line_pattern)

set(arrays "")
set(names "")
set(index 0)
foreach(png IN LISTS PNGS)
  file(READ ${png} hex HEX)
  if(hex STREQUAL "")
    message(FATAL_ERROR "${png} is empty")
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " bytes "${hex}")
  # 16 bytes to a line; a trailing comma is fine in C++.
  string(REGEX REPLACE "(${line_pattern})" "\\1\n    " bytes "${bytes}")
  string(REPLACE ", \n" ",\n" bytes "${bytes}")
  get_filename_component(name ${png} NAME)
  string(APPEND arrays "// ${name}\nconst unsigned char kPng${index}[] = {\n    ${bytes}};\n")
  list(APPEND names kPng${index})
  math(EXPR index "${index} + 1")
endforeach()

list(JOIN names ", " names)
set(source "// Generated at build time by cmake/EmbedIconPngs.cmake from the icon's PNG
// sizes (rendered from updater/icon/tarnwick.svg). Do not edit.
#include <span>

namespace platform {
namespace {

${arrays}
const std::span<const unsigned char> kPngs[] = {${names}};

}  // namespace

std::span<const std::span<const unsigned char>> WindowIconPngs() { return kPngs; }

}  // namespace platform
")

file(WRITE ${OUTPUT} "${source}")
