qavrek_add_test(AnalyticsHjmSwaptionAdjointTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hjm_swaption_adjoints_test.cpp
  DEPS qavrek::Analytics Boost::headers)
