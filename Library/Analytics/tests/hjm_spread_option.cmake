qavrek_add_test(AnalyticsHjmSpreadOptionTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/calibration_ir_hjm_spread_option_test.cpp
  DEPS qavrek::Analytics Boost::headers)
