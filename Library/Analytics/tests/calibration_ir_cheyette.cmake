qavrek_add_test(AnalyticsCheyetteCalibrationTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/calibration_ir_cheyette_swaption_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/calibration_ir_cheyette_test.cpp
  DEPS qavrek::Analytics)
