# Runs the scene fuzz replay in an empty working directory with an empty temporary directory, passes its output
# on, and fails when it fails, replays nothing, or leaves anything in either directory.
# Arguments: REPLAY (the replay program), CORPUS (its input directory), WORK (a folder of our own to use).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/cwd ${WORK}/tmp)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TMPDIR=${WORK}/tmp TARN_MESSAGEBOX=stderr ${REPLAY} ${CORPUS}
                WORKING_DIRECTORY ${WORK}/cwd RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
if(NOT result EQUAL 0 OR NOT output MATCHES "replayed [1-9][0-9]* inputs")
  message(FATAL_ERROR "replay failed (${result}) or replayed nothing")
endif()
file(GLOB_RECURSE leftovers LIST_DIRECTORIES true ${WORK}/cwd/* ${WORK}/tmp/*)
if(leftovers)
  message(FATAL_ERROR "the replay left files behind: ${leftovers}")
endif()
file(REMOVE_RECURSE ${WORK})
