qavrek_add_test(AnalyticsConcurrencyTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/concurrency_test.cpp
  DEPS qavrek::Analytics)
