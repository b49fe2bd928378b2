qavrek_add_test(AnalyticsHjmSwaptionTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/calibration_ir_hjm_swaption_test.cpp
  DEPS qavrek::Analytics Boost::headers)

qavrek_add_test(AnalyticsHjmSwaptionQuantLibTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/calibration_ir_hjm_swaption_quantlib_test.cpp
  DEPS qavrek::Analytics Boost::headers
  QUANTLIB)
