# Compresses one file the way Debian wants its manual pages and changelogs:
# gzip -9n (best compression, no name and no time stamp, so the same input
# always gives the same bytes).
#
#   cmake -DGZIP=gzip -DINPUT=FILE -DOUTPUT=FILE.gz -P gzip_file.cmake
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
execute_process(COMMAND ${GZIP} -9n -c ${INPUT} OUTPUT_FILE ${OUTPUT}.tmp RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "${GZIP} -9n ${INPUT} failed: ${status}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
