# Its own executable: the allocation meter replaces operator new and aligned_alloc for the whole process.
qavrek_add_test(AnalyticsHostileFilesTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hostile_files_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/allocation_meter.cpp
  DEPS qavrek::Analytics)
