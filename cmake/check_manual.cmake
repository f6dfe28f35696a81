# Fails when the manual page, docs/slots.1, does not name an environment
# variable that the program's sources read (getenv, GetEnvironmentVariable, or
# the platform layer's Environment: env.get("NAME"), non_empty(env, "NAME")).
#
#   cmake -DSOURCE=DIR -P check_manual.cmake
file(GLOB_RECURSE sources ${SOURCE}/src/*.cc ${SOURCE}/src/*.h)
list(FILTER sources EXCLUDE REGEX "_test\\.cc$")
set(names "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} lines REGEX "(getenv|GetEnvironmentVariable[AW]?|[.]get|env, )\\(?\"")
  foreach(line IN LISTS lines)
    string(REGEX MATCHALL "(getenv\\(|GetEnvironmentVariable[AW]?\\(|[.]get\\(|env, )\"[A-Za-z0-9_]+\""
           calls "${line}")
    foreach(call IN LISTS calls)
      string(REGEX REPLACE ".*\"([A-Za-z0-9_]+)\"" "\\1" name "${call}")
      list(APPEND names ${name})
    endforeach()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES names)
if(NOT names)
  message(FATAL_ERROR "found no environment variable in ${SOURCE}/src")
endif()

file(READ ${SOURCE}/docs/slots.1 manual)
set(missing "")
foreach(name IN LISTS names)
  # A roff name stands on its own: not part of a longer name.
  if(NOT manual MATCHES "(^|[^A-Za-z0-9_])${name}([^A-Za-z0-9_]|$)")
    list(APPEND missing ${name})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "docs/slots.1 does not name: ${missing}")
endif()
list(LENGTH names count)
message(STATUS "docs/slots.1 names all ${count} variables the program reads")
