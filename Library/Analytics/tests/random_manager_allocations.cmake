qavrek_add_test(AnalyticsRandomManagerAllocationTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/random_manager_allocations_test.cpp ${CMAKE_CURRENT_LIST_DIR}/thread_allocations.cpp
  DEPS qavrek::Analytics)
