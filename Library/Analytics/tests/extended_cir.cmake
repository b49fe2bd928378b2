qavrek_add_test(AnalyticsExtendedCirTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_extended_cir_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/extended_cir_diffusions_test.cpp
  DEPS qavrek::Analytics Boost::headers)

qavrek_add_test(AnalyticsExtendedCirQuantLibTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/extended_cir_quantlib_test.cpp
  DEPS qavrek::Analytics Boost::headers
  QUANTLIB)
