qavrek_add_test(AnalyticsBlackKarasinskiSurvivalTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/black_karasinski_pde_solver_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/calibration_credit_black_karasinski_test.cpp
  DEPS qavrek::Analytics)

# QuantLib's lattices run OpenMP loops: the test sets their thread count.
find_package(OpenMP REQUIRED COMPONENTS CXX)
qavrek_add_test(AnalyticsBlackKarasinskiSurvivalQuantLibTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/calibration_credit_black_karasinski_quantlib_test.cpp
  DEPS qavrek::Analytics OpenMP::OpenMP_CXX
  QUANTLIB)
