# Runs the Linux and the Windows build of slots on the same requests and fails
# unless every answer is the same, byte for byte.
#
#   cmake -DNATIVE=<build/slots> -DWINDOWS=<slots.exe> -DWINE=<wine>
#         -DWORK=<scratch directory> -P compare_answers.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${NATIVE}")
  message("SKIPPED: no Linux build at ${NATIVE} to compare with")
  return()
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# Nothing of the caller's environment that the program reads may leak in.
set(clean
  --unset=QUERY_STRING --unset=QV_PLUGIN_META --unset=BOT_PASSWORD
  --unset=HTTP_X_BOT_PASSWORD --unset=HTTP_AUTHORIZATION --unset=HTTP_REFERER
  --unset=QV_SESSIONS_DIR --unset=VELUNORA_TMUX_BIN --unset=LOCALAPPDATA --unset=USERPROFILE
  --unset=XDG_DATA_HOME --unset=QV_LLAMA_SERVERS --unset=QV_LLAMA_ADDRESSES)
# No session root and no tool on either side.
set(native_only --unset=HOME VELUNORA_TMUX_BIN=${WORK}/absent/tool)
set(windows_only VELUNORA_TMUX_BIN=Z:\\absent\\tool.exe)

set(cases page meta page_theme sessions pick_one bad_url refusal no_session servers not_allowed
    unknown_server metrics)
set(page_env "")
set(page_args "")
set(meta_env "")
set(meta_args --meta)
set(page_theme_env "BOT_PASSWORD=pw" "QUERY_STRING=pwd=pw&theme=dark&embed=1")
set(sessions_env "QUERY_STRING=action=sessions")
set(pick_one_env "QUERY_STRING=format=json")
set(bad_url_env "QUERY_STRING=action=slots&url=ftp://h/%22q%22%0D%0A")
set(refusal_env "BOT_PASSWORD=pw" "QUERY_STRING=action=sessions&pwd=no")
set(no_session_env "QUERY_STRING=action=slots&id=nosuch")
set(servers_env "QV_LLAMA_SERVERS=a=http://h:1/v1\tb=https://r?model=m a=http://again"
    "QV_LLAMA_ADDRESSES=configured" "QUERY_STRING=action=servers")
set(not_allowed_env "QV_LLAMA_SERVERS=a=http://h:1" "QV_LLAMA_ADDRESSES=configured"
    "QUERY_STRING=action=props&url=http://h:1@evil:1")
set(unknown_server_env "QV_LLAMA_SERVERS=a=http://h:1" "QUERY_STRING=action=models&server=b")
# A server nothing answers at: down on both sides, whether curl runs or not.
set(metrics_env "QUERY_STRING=action=metrics" "QV_LLAMA_SERVERS=gone=http://127.0.0.1:9")

set(failed "")
foreach(case IN LISTS cases)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${clean} ${native_only} ${${case}_env}
            ${NATIVE} ${${case}_args}
    OUTPUT_FILE ${WORK}/${case}.native RESULT_VARIABLE native_rc)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${clean} ${windows_only} ${${case}_env}
            ${WINE} ${WINDOWS} ${${case}_args}
    OUTPUT_FILE ${WORK}/${case}.windows RESULT_VARIABLE windows_rc)
  file(SIZE ${WORK}/${case}.native native_size)
  file(SIZE ${WORK}/${case}.windows windows_size)
  file(SHA256 ${WORK}/${case}.native native_hash)
  file(SHA256 ${WORK}/${case}.windows windows_hash)
  if(NOT native_rc EQUAL 0 OR NOT windows_rc EQUAL 0 OR native_size EQUAL 0 OR
     NOT native_hash STREQUAL windows_hash)
    message("${case}: Linux ${native_size} bytes (exit ${native_rc}), "
            "Windows ${windows_size} bytes (exit ${windows_rc}) differ; see ${WORK}")
    list(APPEND failed ${case})
  else()
    message("${case}: ${native_size} identical bytes")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "answers differ: ${failed}")
endif()
