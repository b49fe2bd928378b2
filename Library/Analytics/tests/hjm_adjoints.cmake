qavrek_add_test(AnalyticsHjmAdjointTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hjm_adjoints_test.cpp
  DEPS qavrek::Analytics)
