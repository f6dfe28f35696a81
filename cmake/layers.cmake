# The source folders are layers: each may use only the ones below it.
#
#   platform      the operating system, and nothing of the application
#   text          text routines and the byte writers of the answers
#   sessions      where sessions live, the multiplexer tool, the sessions call
#   slots         the slots and models calls
#   plugin_slots  the request, the access check, the routing table, the page
#
# slots_layer(NAME SOURCES...) makes the library lib_NAME, linked to the
# libraries of the layers made before it, and an executable that links every
# object of lib_NAME with nothing but those: a call into a higher layer is an
# undefined symbol there, so a cycle fails the build. The CTest check
# "layer.includes_point_down" fails when a folder includes a higher folder's
# header.
set(SLOTS_LAYERS "")

function(slots_layer name)
  add_library(lib_${name} STATIC ${ARGN})
  target_include_directories(lib_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  foreach(lower IN LISTS SLOTS_LAYERS)
    target_link_libraries(lib_${name} PUBLIC lib_${lower})
  endforeach()
  add_executable(layer_link_${name} ${PROJECT_SOURCE_DIR}/cmake/layer_link_main.cc)
  target_link_libraries(layer_link_${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,lib_${name}>")
  set_target_properties(layer_link_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                        ${PROJECT_BINARY_DIR}/layer_link)
  list(APPEND SLOTS_LAYERS ${name})
  set(SLOTS_LAYERS ${SLOTS_LAYERS} PARENT_SCOPE)
endfunction()
