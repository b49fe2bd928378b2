qavrek_add_test(AnalyticsHjmAllocationTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hjm_allocations_test.cpp ${CMAKE_CURRENT_LIST_DIR}/thread_allocations.cpp
  DEPS qavrek::Analytics)
