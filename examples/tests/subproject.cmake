# Configures the consumer project with a qavrek source tree as its subproject (add_subdirectory), builds
# its quick start program there and runs it; the libraries, tests and examples of qavrek stay out of the way.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DQAVREK_SOURCE_DIR=${SOURCE_DIR})
# The libraries build a second time here: on every processor, since the test starts before the others.
cmake_host_system_information(RESULT processors QUERY NUMBER_OF_LOGICAL_CORES)
run(${CMAKE_COMMAND} --build ${WORK_DIR} --target quick_start --parallel ${processors})
if(NOT EXISTS ${WORK_DIR}/qavrek/lib/libqavrekCore.so)
  message(FATAL_ERROR "qavrekCore was not built into the subproject's folder")
endif()
if(EXISTS ${WORK_DIR}/qavrek/Library/Core/tests)
  message(FATAL_ERROR "a subproject build should not add qavrek's tests")
endif()

set(program ${WORK_DIR}/quick_start)
run(${program} ${WORK_DIR}/hull_white.json)
message("${out}")
if(NOT out MATCHES "repriced from [^\n]*: Black volatility 20\\.00%")
  message(FATAL_ERROR "the consumer did not reprice its quote")
endif()

# Every qavrek library the program loads is the one the subproject built.
run(ldd ${program})
string(REGEX MATCHALL "libqavrek[A-Za-z]*\\.so[^\n]*" loaded "${out}")
if(NOT loaded)
  message(FATAL_ERROR "ldd lists no qavrek library:\n${out}")
endif()
foreach(line IN LISTS loaded)
  if(NOT line MATCHES "=> ${WORK_DIR}/qavrek/lib/")
    message(FATAL_ERROR "a library from outside the subproject: ${line}")
  endif()
endforeach()
