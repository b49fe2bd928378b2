qavrek_add_test(AnalyticsPdeManagerTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pde_manager_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/pde_pricing_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/model_pde_coefficients_test.cpp
  DEPS qavrek::Analytics Boost::headers)

qavrek_add_test(AnalyticsPdeManagerQuantLibTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pde_manager_quantlib_test.cpp
  DEPS qavrek::Analytics Boost::headers
  QUANTLIB)
