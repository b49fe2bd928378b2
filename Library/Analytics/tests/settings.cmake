qavrek_add_test(AnalyticsSettingsTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/calibration_settings_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/calibration_ir_targets_configuration_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/random_config_test.cpp
  DEPS qavrek::Analytics)
