# Fails unless every place that names the release names VERSION: the newest
# entry of CHANGELOG.md and of the Debian changelog, the manual page's title
# line and, when PROGRAM is given, the program's own --meta answer.
#
#   cmake -DVERSION=1.0.0 -DSOURCE=DIR [-DPROGRAM=slots] -P check_versions.cmake
set(wrong "")

file(STRINGS ${SOURCE}/CHANGELOG.md headings REGEX "^## ")
list(GET headings 0 newest)
if(NOT newest MATCHES "^## ${VERSION}( |$)")
  string(APPEND wrong "  CHANGELOG.md: newest entry is \"${newest}\"\n")
endif()

file(STRINGS ${SOURCE}/packaging/debian/changelog.in first LIMIT_COUNT 1)
if(NOT first MATCHES "^slots \\(${VERSION}\\) ")
  string(APPEND wrong "  packaging/debian/changelog.in: newest entry is \"${first}\"\n")
endif()

file(STRINGS ${SOURCE}/docs/slots.1 title REGEX "^\\.TH ")
if(NOT title MATCHES "\"slots ${VERSION}\"")
  string(APPEND wrong "  docs/slots.1: title line is \"${title}\"\n")
endif()

if(PROGRAM)
  execute_process(COMMAND ${PROGRAM} --meta OUTPUT_VARIABLE meta RESULT_VARIABLE status
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0 OR NOT meta MATCHES "\"version\":\"${VERSION}\"")
    string(APPEND wrong "  ${PROGRAM} --meta: ${meta} (exit ${status})\n")
  endif()
endif()

if(wrong)
  message(FATAL_ERROR "not version ${VERSION}:\n${wrong}")
endif()
message(STATUS "version ${VERSION} everywhere")
