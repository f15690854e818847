# Runs a generator and fails when its output differs from the committed file.
#   -DGENERATOR=... -DMODE=<first argument or empty> -DCOMMITTED=... -DOUT=...
if(MODE)
  execute_process(COMMAND ${GENERATOR} ${MODE} ${OUT} RESULT_VARIABLE rc)
else()
  execute_process(COMMAND ${GENERATOR} ${OUT} RESULT_VARIABLE rc)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "generator failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${COMMITTED} RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${COMMITTED} is not what the generator makes now; regenerate it")
endif()
