# Checks that the documents shipped with a release agree with the program:
# one version everywhere, a manual page that renders without warnings and
# names every environment variable the program reads.

# The built program's --meta answer too, where it runs without an emulator.
set(program "")
if(NOT CMAKE_CROSSCOMPILING)
  set(program $<TARGET_FILE:slots>)
endif()
add_test(NAME release.versions_agree
         COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION} -DSOURCE=${PROJECT_SOURCE_DIR}
                 -DPROGRAM=${program} -P ${PROJECT_SOURCE_DIR}/cmake/check_versions.cmake)

add_test(NAME release.manual_names_every_variable
         COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}
                 -P ${PROJECT_SOURCE_DIR}/cmake/check_manual.cmake)

find_program(SLOTS_GROFF groff)
if(SLOTS_GROFF)
  add_test(NAME release.manual_renders_cleanly
           COMMAND ${CMAKE_COMMAND} -DGROFF=${SLOTS_GROFF} -DINPUT=${PROJECT_SOURCE_DIR}/docs/slots.1
                   -DOUTPUT=${PROJECT_BINARY_DIR}/release_checks/slots.1.txt
                   -P ${PROJECT_SOURCE_DIR}/cmake/render_manual.cmake)
endif()

add_test(NAME layer.includes_point_down
         COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/src "-DLAYERS=${SLOTS_LAYERS}"
                 -P ${PROJECT_SOURCE_DIR}/cmake/check_layers.cmake)
