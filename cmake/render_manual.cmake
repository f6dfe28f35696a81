# Renders a manual page as plain ASCII text (no bold, underline or escape
# sequences) for readers without man, such as the Windows package's.
# groff's warnings fail the build: the page must render cleanly.
#
#   cmake -DGROFF=groff -DINPUT=slots.1 -DOUTPUT=slots.1.txt -P render_manual.cmake
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
execute_process(COMMAND ${GROFF} -man -ww -Tascii -P-cbou ${INPUT} OUTPUT_FILE ${OUTPUT}.tmp
                ERROR_VARIABLE warnings RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "${GROFF} could not render ${INPUT} cleanly (${status}):\n${warnings}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
