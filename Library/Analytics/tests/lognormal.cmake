qavrek_add_test(AnalyticsLognormalTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_lognormal_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/lognormal_diffusions_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/lognormal_martingale_test.cpp
  DEPS qavrek::Analytics)
