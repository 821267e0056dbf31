# One example design against its expected info dump and rendering.
# -DCLI=... -DEXAMPLES=... -DNAME=... -DOUT=...
execute_process(COMMAND ${CLI} info ${NAME} --settings expected/lanset.ini
                WORKING_DIRECTORY ${EXAMPLES} OUTPUT_VARIABLE info RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "info ${NAME} failed: ${rc}")
endif()
file(READ ${EXAMPLES}/expected/${NAME}.info expected)
if(NOT info STREQUAL expected)
  message(FATAL_ERROR "info ${NAME} differs:\n${info}\nexpected:\n${expected}")
endif()
execute_process(COMMAND ${CLI} render ${NAME} ${OUT} --settings expected/lanset.ini
                WORKING_DIRECTORY ${EXAMPLES} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "render ${NAME} failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${EXAMPLES}/expected/${NAME}.pbm
                RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "rendering of ${NAME} differs from expected/${NAME}.pbm")
endif()
