# Turns the page's asset files into a C++ source that holds the page's ten
# pieces as byte arrays, so the program writes them without reading any file.
#
#   cmake -DASSETS=<assets/page> -DOUTPUT=<page_pieces.cc> -P embed_page.cmake
#
# Each file's bytes go in unchanged, except that a single final line feed of a
# file is dropped: editors add one, and the page puts its own line breaks
# around the pieces. Scripts are wrapped in "<script>" and "</script>\n".
#
# The monitor script is the files of MONITOR_SCRIPT joined end to end in that
# order, each with its final line feed, and then that one text's final line
# feed dropped. Its first file opens the function that holds the script and
# its last one closes it. Every script, style and markup file of the folder
# must be used: one that is not listed here stops the build.

cmake_minimum_required(VERSION 3.25)

set(MONITOR_SCRIPT slot_math.js history.js address.js draw.js poll.js watch.js overview.js controls.js)
set(OTHER_ASSETS head.html theme_bootstrap.js tokens.css components.css body.html theme_bridge.js)

file(GLOB present RELATIVE "${ASSETS}" "${ASSETS}/*.js" "${ASSETS}/*.css" "${ASSETS}/*.html")
foreach(name IN LISTS present)
  if(NOT name IN_LIST MONITOR_SCRIPT AND NOT name IN_LIST OTHER_ASSETS)
    message(FATAL_ERROR
            "${ASSETS}/${name} is not part of the page: list it in ${CMAKE_CURRENT_LIST_FILE}")
  endif()
endforeach()

# Drops a single final line feed from hex pairs.
function(drop_final_newline hex out)
  string(LENGTH "${hex}" len)
  if(len GREATER_EQUAL 2)
    math(EXPR last "${len} - 2")
    string(SUBSTRING "${hex}" ${last} 2 tail)
    if(tail STREQUAL "0a")
      string(SUBSTRING "${hex}" 0 ${last} hex)
    endif()
  endif()
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# Reads a file as hex pairs, without its final line feed.
function(read_hex path out)
  file(READ "${path}" hex HEX)
  drop_final_newline("${hex}" hex)
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# Hex pairs of a literal text.
function(text_hex text out)
  string(HEX "${text}" hex)
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

set(CR "\r")
text_hex("Content-Type: text/html; charset=utf-8${CR}\nCache-Control: no-cache, no-store, must-revalidate${CR}\n${CR}\n" headers)
text_hex("<script>" script_open)
text_hex("</script>\n" script_close)
text_hex("\n" newline)

read_hex("${ASSETS}/head.html" head)
read_hex("${ASSETS}/theme_bootstrap.js" bootstrap)
read_hex("${ASSETS}/tokens.css" tokens)
read_hex("${ASSETS}/components.css" components)
read_hex("${ASSETS}/body.html" body)
set(monitor "")
foreach(name IN LISTS MONITOR_SCRIPT)
  file(READ "${ASSETS}/${name}" hex HEX)
  string(APPEND monitor "${hex}")
endforeach()
drop_final_newline("${monitor}" monitor)
read_hex("${ASSETS}/theme_bridge.js" bridge)
text_hex("<style>\n" style_open)
text_hex("</style></head><body>\n" head_end)
text_hex("</body></html>\n" doc_end)

set(piece1 "${headers}${head}${newline}")
set(piece2 "${script_open}${bootstrap}${script_close}")
set(piece3 "${style_open}")
set(piece4 "${tokens}")
set(piece5 "${newline}")
set(piece6 "${components}${newline}")
set(piece7 "${head_end}")
set(piece8 "${body}${newline}${script_open}${newline}${monitor}${newline}${script_close}")
set(piece9 "${script_open}${bridge}${script_close}")
set(piece10 "${doc_end}")

set(src "// Generated from assets/page by cmake/embed_page.cmake. Do not edit.\n")
string(APPEND src "#include \"plugin_slots/page.h\"\n\nnamespace slots {\nnamespace {\n")
foreach(i RANGE 1 10)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${piece${i}}")
  string(REGEX REPLACE "(('[^']*',){16})" "\\1\n" bytes "${bytes}")
  string(APPEND src "constexpr char kPiece${i}[] = {${bytes}};\n")
endforeach()
string(APPEND src "}  // namespace\n\nconst std::array<std::string_view, 10> kPagePieces = {{\n")
foreach(i RANGE 1 10)
  string(APPEND src "    {kPiece${i}, sizeof kPiece${i}},\n")
endforeach()
string(APPEND src "}};\n\n}  // namespace slots\n")

# Rewrite only on change, so an unchanged page does not rebuild the program.
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL src)
  file(WRITE "${OUTPUT}" "${src}")
endif()
