# Runs one GoogleTest executable (through the emulator when cross-compiled) for CTest. A suite
# passes only when it exits with 0 AND GoogleTest reached its summary without a failure: under
# Wine a process that dies of a stack overflow can still end with exit code 0, and a crash after
# the summary still sets the exit code.
#   cmake -DSUITE=<exe> [-DEMULATOR=<wine>] [-DTIMEOUT=<s>] [-DARGS=<a;b>] -P RunSuite.cmake
if(NOT SUITE)
  message(FATAL_ERROR "RunSuite: SUITE is not set")
endif()
set(command ${SUITE} ${ARGS})
if(EMULATOR)
  set(command ${EMULATOR} ${command})
endif()
if(NOT TIMEOUT)
  set(TIMEOUT 120)
endif()
execute_process(COMMAND ${command}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output
  TIMEOUT ${TIMEOUT})
message("${output}")
if(NOT result STREQUAL "0")
  message(FATAL_ERROR "RunSuite: the suite ended with '${result}'")
endif()
if(NOT output MATCHES "\\[  PASSED  \\] [0-9]+ tests?\\.")
  message(FATAL_ERROR "RunSuite: the suite never reached GoogleTest's summary")
endif()
if(output MATCHES "\\[  FAILED  \\]")
  message(FATAL_ERROR "RunSuite: a test failed")
endif()
