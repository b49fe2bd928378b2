qavrek_add_test(AnalyticsSimulationTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/states_variables_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/simulation_helper_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/simulation_manager_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/hjm_diffusions_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/hjm_martingale_test.cpp
  DEPS qavrek::Analytics)

qavrek_add_test(AnalyticsSimulationQuantLibTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hjm_swaption_quantlib_test.cpp
  DEPS qavrek::Analytics qavrek::Instrument
  QUANTLIB)
