qavrek_add_test(AnalyticsHjmCalibrationQuantLibTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/calibration_ir_hjm_quantlib_test.cpp
  DEPS qavrek::Analytics
  QUANTLIB)
