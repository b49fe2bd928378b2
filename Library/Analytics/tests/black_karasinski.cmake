qavrek_add_test(AnalyticsBlackKarasinskiTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_black_karasinski_test.cpp
  DEPS qavrek::Analytics)
