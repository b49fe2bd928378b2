# Configures the consumer project with a qavrek source tree as its subproject (add_subdirectory), builds
# its quick start program there and runs it; the libraries, tests and examples of qavrek stay out of the way.
include(${CMAKE_CURRENT_LIST_DIR}/consumer_checks.cmake)

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

check_quick_start(${WORK_DIR}/quick_start ${WORK_DIR}/qavrek/lib)
