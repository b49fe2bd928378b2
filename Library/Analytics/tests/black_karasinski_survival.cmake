qavrek_add_test(AnalyticsBlackKarasinskiSurvivalTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/black_karasinski_pde_solver_test.cpp
  DEPS qavrek::Analytics)
