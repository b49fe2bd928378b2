include(CMakePackageConfigHelpers)

# Where `cmake --install` puts the CMake package files and the Python package, relative to the prefix.
set(QAVREK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/qavrek CACHE STRING "Install folder of qavrekConfig.cmake")
set(QAVREK_INSTALL_PYTHONDIR ${CMAKE_INSTALL_LIBDIR}/python CACHE STRING
    "Install folder of the Python package qavrekmodules (the folder to put on PYTHONPATH)")

# qavrek_find_dependency(<package> [<find_package arguments> ...])
# find_package(<package> ... REQUIRED), remembering the arguments for the installed package's find_dependency.
macro(qavrek_find_dependency package)
  find_package(${package} ${ARGN} REQUIRED)
  set_property(GLOBAL PROPERTY QAVREK_FIND_ARGUMENTS_${package} "${ARGN}")
endmacro()

# qavrek_add_library(<name> SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# A shared library named qavrek<name> with the alias qavrek::<name>. It installs with its headers (every
# header under Library/<name> but its tests, under include/qavrek/<name>) and joins the exported package.
function(qavrek_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(qavrek${name} SHARED ${ARG_SOURCES})
  add_library(qavrek::${name} ALIAS qavrek${name})
  target_include_directories(qavrek${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/Library>
                                                  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/qavrek>)
  target_link_libraries(qavrek${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  # Installed libraries find each other in their own folder.
  set_target_properties(qavrek${name} PROPERTIES EXPORT_NAME ${name} INSTALL_RPATH "$ORIGIN")

  install(TARGETS qavrek${name} EXPORT qavrekTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/Library/${name}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qavrek/${name}
          FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp" PATTERN "tests" EXCLUDE)
  set_property(GLOBAL APPEND PROPERTY QAVREK_LIBRARIES ${name})
endfunction()

# The packages an installed library needs: those of its public dependencies, and of the private ones that
# are real libraries (the linker looks for them); header-only private dependencies stay behind.
function(qavrek_library_packages name out)
  get_target_property(public qavrek${name} INTERFACE_LINK_LIBRARIES)
  get_target_property(all qavrek${name} LINK_LIBRARIES)
  set(packages)
  foreach(dependency IN LISTS public all)
    if(NOT dependency MATCHES "^([A-Za-z0-9_]+)::" OR CMAKE_MATCH_1 STREQUAL "qavrek")
      continue()
    endif()
    set(package ${CMAKE_MATCH_1})
    set(needed FALSE)
    if(dependency IN_LIST public)
      set(needed TRUE)
    elseif(TARGET ${dependency})
      get_target_property(type ${dependency} TYPE)
      if(NOT type STREQUAL "INTERFACE_LIBRARY")
        set(needed TRUE)
      endif()
    endif()
    if(needed)
      list(APPEND packages ${package})
    endif()
  endforeach()
  set(${out} ${packages} PARENT_SCOPE)
endfunction()

# qavrek_install_package()
# The CMake package `qavrek` (config, version and exported targets qavrek::<name>) of every library added
# so far, with a find_dependency for each package their link interfaces need.
function(qavrek_install_package)
  get_property(libraries GLOBAL PROPERTY QAVREK_LIBRARIES)
  set(packages)
  foreach(name IN LISTS libraries)
    qavrek_library_packages(${name} needed)
    list(APPEND packages ${needed})
  endforeach()
  list(REMOVE_DUPLICATES packages)
  set(QAVREK_FIND_DEPENDENCIES "")
  foreach(package IN LISTS packages)
    get_property(arguments GLOBAL PROPERTY QAVREK_FIND_ARGUMENTS_${package})
    list(JOIN arguments " " arguments)
    string(STRIP "${package} ${arguments}" call)
    string(APPEND QAVREK_FIND_DEPENDENCIES "find_dependency(${call})\n")
  endforeach()
  set(QAVREK_COMPONENTS ${libraries})

  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/qavrekConfig.cmake.in
                                ${PROJECT_BINARY_DIR}/cmake/qavrekConfig.cmake
                                INSTALL_DESTINATION ${QAVREK_INSTALL_CMAKEDIR}
                                PATH_VARS CMAKE_INSTALL_INCLUDEDIR QAVREK_INSTALL_PYTHONDIR)
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/qavrekConfigVersion.cmake
                                   VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
  install(EXPORT qavrekTargets NAMESPACE qavrek:: DESTINATION ${QAVREK_INSTALL_CMAKEDIR})
  install(FILES ${PROJECT_BINARY_DIR}/cmake/qavrekConfig.cmake ${PROJECT_BINARY_DIR}/cmake/qavrekConfigVersion.cmake
          DESTINATION ${QAVREK_INSTALL_CMAKEDIR})
endfunction()

# qavrek_add_test(<name> SOURCES ... [DEPS ...] [QUANTLIB])
# A GoogleTest executable registered with CTest, one CTest entry per test case.
function(qavrek_add_test name)
  cmake_parse_arguments(ARG "QUANTLIB" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(ARG_QUANTLIB)
    if(NOT QUANTLIB_LIBRARY)
      message(FATAL_ERROR "${name} needs QuantLib (libquantlib0-dev)")
    endif()
    target_link_libraries(${name} PRIVATE ${QUANTLIB_LIBRARY})
  endif()
  # Test names carry the case names, never the printed bytes of a case.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES TIMEOUT 600)
endfunction()

# qavrek_add_benchmark(<name> SOURCES ... [DEPS ...])
function(qavrek_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()
