qavrek_add_test(AnalyticsBlackKarasinskiTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_black_karasinski_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/black_karasinski_diffusions_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/black_karasinski_martingale_test.cpp
  DEPS qavrek::Analytics)
