# Unit tests (beside their sources), black-box tests of the built program, and
# the helpers they share.
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB_RECURSE UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*_test.cc)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests PRIVATE slots_core GTest::gtest GTest::gtest_main)
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "unit.")

# The stand-in for outside commands (curl, the multiplexer tool).
add_executable(stand_in tests/support/stand_in.cc)
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
target_compile_definitions(test_support PUBLIC
  SLOTS_EXE="$<TARGET_FILE:slots>"
  STAND_IN_EXE="$<TARGET_FILE:stand_in>"
  SLOTS_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures")
add_dependencies(test_support slots stand_in)

file(GLOB BLACKBOX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/blackbox/*_test.cc)
if(WIN32)
  # These need a real HTTP server and the real curl, which only exist here.
  list(FILTER BLACKBOX_SOURCES EXCLUDE REGEX "_http_test\\.cc$")
endif()
add_executable(blackbox_tests ${BLACKBOX_SOURCES})
target_link_libraries(blackbox_tests PRIVATE test_support GTest::gtest_main)
gtest_discover_tests(blackbox_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "blackbox.")
