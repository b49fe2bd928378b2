qavrek_add_test(AnalyticsHjmCalibrationTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/calibration_ir_hjm_test.cpp
  DEPS qavrek::Analytics)
