qavrek_add_test(AnalyticsHjmAllocationTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hjm_allocations_test.cpp
  DEPS qavrek::Analytics)
