qavrek_add_test(AnalyticsLognormalCalibrationTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lognormal_calibration_test.cpp
  DEPS qavrek::Analytics)
