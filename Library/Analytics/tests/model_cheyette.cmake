qavrek_add_test(AnalyticsCheyetteTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_cheyette_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cheyette_simulation_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cheyette_pde_swaption_test.cpp
  DEPS qavrek::Analytics Boost::headers)
