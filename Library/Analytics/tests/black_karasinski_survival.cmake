qavrek_add_test(AnalyticsBlackKarasinskiSurvivalTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/black_karasinski_pde_solver_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/calibration_credit_black_karasinski_test.cpp
  DEPS qavrek::Analytics)
