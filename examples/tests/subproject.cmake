# Configures the consumer project with a qavrek source tree as its subproject (add_subdirectory) and
# builds qavrek's first library there; the libraries, tests and examples of qavrek stay out of the way.
include(${CMAKE_CURRENT_LIST_DIR}/consumer_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DQAVREK_SOURCE_DIR=${SOURCE_DIR})
# Only the first library: the whole set built a second time would lengthen the test command by minutes.
run(${CMAKE_COMMAND} --build ${WORK_DIR} --target qavrekCore)
if(NOT EXISTS ${WORK_DIR}/qavrek/lib/libqavrekCore.so)
  message(FATAL_ERROR "qavrekCore was not built into the subproject's folder")
endif()
if(EXISTS ${WORK_DIR}/qavrek/Library/Core/tests)
  message(FATAL_ERROR "a subproject build should not add qavrek's tests")
endif()
