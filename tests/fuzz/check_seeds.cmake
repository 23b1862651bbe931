# Runs a fuzz target once over its seed corpus alone and fails unless the
# seeds reach the extraction: the target reports how many entries it
# extracted (TALLOWIN_FUZZ_EXTRACTED).
#   cmake -DTARGET=... -DSEEDS=... -DREPORT=... -P check_seeds.cmake
file(REMOVE ${REPORT})
file(GLOB seeds ${SEEDS}/*)
list(LENGTH seeds count)
if(count EQUAL 0)
  message(FATAL_ERROR "no seeds in ${SEEDS}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env TALLOWIN_FUZZ_EXTRACTED=${REPORT} ${TARGET} -runs=0 ${SEEDS}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${TARGET} failed over its seeds (${result}):\n${output}")
endif()
if(NOT EXISTS ${REPORT})
  message(FATAL_ERROR "${TARGET} wrote no report")
endif()
file(READ ${REPORT} extracted)
string(STRIP "${extracted}" extracted)
if(extracted LESS 1)
  message(FATAL_ERROR "${count} seeds extracted nothing:\n${output}")
endif()
message(STATUS "${count} seeds, ${extracted} entries extracted")
