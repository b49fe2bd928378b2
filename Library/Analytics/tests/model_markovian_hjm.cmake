qavrek_add_test(AnalyticsHjmModelTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_markovian_hjm_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/model_dfs_test.cpp
  DEPS qavrek::Analytics Boost::headers)

qavrek_add_test(AnalyticsHjmModelQuantLibTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_markovian_hjm_quantlib_test.cpp
  DEPS qavrek::Analytics Boost::headers
  QUANTLIB)
