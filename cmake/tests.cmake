# Unit tests (beside their sources), black-box tests of the built program, and
# the helpers they share.
include(GoogleTest)

# Cross-built for Windows from Linux, the tests run under Wine
# (CMAKE_CROSSCOMPILING_EMULATOR), which reaches this file system as a drive.
set(SLOTS_UNDER_WINE OFF)
if(WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  set(SLOTS_UNDER_WINE ON)
endif()
set(SLOTS_WINE_DRIVE "Z:" CACHE STRING "Drive under which Wine shows the root of the file system")

if(CMAKE_CROSSCOMPILING)
  # No GoogleTest package for the target: build it from Debian's sources.
  set(SLOTS_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross-builds")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${SLOTS_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

# Test listings and results on standard output in binary mode, so CTest reads
# the same lines from every build.
add_library(test_main STATIC tests/support/test_main.cc)
target_link_libraries(test_main PUBLIC slots_core GTest::gtest)

# Under Wine the first start of a program sets up the prefix and takes long.
set(SLOTS_DISCOVERY_TIMEOUT 60)

file(GLOB_RECURSE UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*_test.cc)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
# The platform's child-process tests start the stand-in, so they take the
# test helpers too.
target_link_libraries(unit_tests PRIVATE slots_core test_support GTest::gtest test_main)
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "unit."
                     DISCOVERY_TIMEOUT ${SLOTS_DISCOVERY_TIMEOUT})

# The stand-in for outside commands (curl, the multiplexer tool).
add_executable(stand_in tests/support/stand_in.cc)
target_link_libraries(stand_in PRIVATE slots_core)
if(SLOTS_STATIC)
  target_link_options(stand_in PRIVATE -static)
endif()

set(SUPPORT_SOURCES tests/support/harness.cc)
if(NOT WIN32)
  list(APPEND SUPPORT_SOURCES tests/support/http_server.cc)
endif()
add_library(test_support STATIC ${SUPPORT_SOURCES})
target_include_directories(test_support PUBLIC tests/support)
target_link_libraries(test_support PUBLIC slots_core GTest::gtest)
# Paths as the test programs see them at run time.
set(RUNTIME_ROOT "")
if(SLOTS_UNDER_WINE)
  set(RUNTIME_ROOT "${SLOTS_WINE_DRIVE}")
endif()
target_compile_definitions(test_support PUBLIC
  SLOTS_EXE="${RUNTIME_ROOT}$<TARGET_FILE:slots>"
  STAND_IN_EXE="${RUNTIME_ROOT}$<TARGET_FILE:stand_in>"
  SLOTS_FIXTURES_DIR="${RUNTIME_ROOT}${PROJECT_SOURCE_DIR}/tests/fixtures")
add_dependencies(test_support slots stand_in)

file(GLOB BLACKBOX_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/blackbox/*_test.cc)
if(WIN32)
  # These need a real HTTP server and the real curl, which only exist here.
  list(FILTER BLACKBOX_SOURCES EXCLUDE REGEX "_http_test\\.cc$")
endif()
add_executable(blackbox_tests ${BLACKBOX_SOURCES})
target_link_libraries(blackbox_tests PRIVATE test_support test_main)
# A child that never ends must fail its test, not stall the run.
gtest_discover_tests(blackbox_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "blackbox."
                     DISCOVERY_TIMEOUT ${SLOTS_DISCOVERY_TIMEOUT} PROPERTIES TIMEOUT 600)

if(SLOTS_UNDER_WINE)
  # The Windows program answers byte for byte what the Linux program answers.
  set(SLOTS_NATIVE_EXE ${PROJECT_SOURCE_DIR}/build/slots CACHE FILEPATH
      "The Linux build's slots program, to compare answers with")
  add_test(NAME same_answers_as_native
           COMMAND ${CMAKE_COMMAND} -DNATIVE=${SLOTS_NATIVE_EXE} -DWINDOWS=$<TARGET_FILE:slots>
                   -DWINE=${CMAKE_CROSSCOMPILING_EMULATOR} -DWORK=${PROJECT_BINARY_DIR}/compare
                   -P ${PROJECT_SOURCE_DIR}/cmake/compare_answers.cmake)
  set_tests_properties(same_answers_as_native PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED:")
endif()

# Tests against a real llama.cpp server (tools/llama/build). They run only
# through tools/test-llama (test preset "llama"), which builds or finds the
# server and names its folder in SLOTS_LLAMA_DIR.
if(NOT WIN32)
  file(GLOB LLAMA_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/llama/*.cc)
  add_executable(llama_tests ${LLAMA_TEST_SOURCES})
  target_include_directories(llama_tests PRIVATE tests/llama)
  target_link_libraries(llama_tests PRIVATE test_support test_main)
  gtest_discover_tests(llama_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "llama."
                       DISCOVERY_TIMEOUT ${SLOTS_DISCOVERY_TIMEOUT}
                       PROPERTIES TIMEOUT 600 LABELS llama)
endif()
