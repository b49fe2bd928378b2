qavrek_add_test(AnalyticsRandomManagerTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/random_manager_test.cpp
  DEPS qavrek::Analytics)
