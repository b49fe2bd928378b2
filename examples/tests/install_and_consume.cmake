# Installs a build of qavrek into WORK_DIR/prefix, then configures, builds and runs the consumer project
# against that prefix through find_package, checks that its libraries are the installed ones, and, when
# PYTHON is given, imports the installed Python package.
include(${CMAKE_CURRENT_LIST_DIR}/consumer_checks.cmake)

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_CXX_FLAGS=${CXX_FLAGS} -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)

check_quick_start(${WORK_DIR}/build/quick_start ${prefix})

if(PYTHON)
  run(${CMAKE_COMMAND} -E env PYTHONPATH=${prefix}/${PYTHON_SUBDIR} PYTHONDONTWRITEBYTECODE=1 ${PYTHON} -c
      "import qavrekmodules\nfrom qavrekmodules import Core, Util, Random\nprint(qavrekmodules.__file__, Util.datetime(2024, 1, 2))")
  if(NOT out MATCHES "^${prefix}/${PYTHON_SUBDIR}/qavrekmodules/__init__.py 2024-01-02")
    message(FATAL_ERROR "the installed Python package did not load: ${out}")
  endif()
endif()
