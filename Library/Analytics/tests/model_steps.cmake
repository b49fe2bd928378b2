qavrek_add_test(AnalyticsModelStepTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/model_steps_test.cpp
  DEPS qavrek::Analytics Boost::headers hwy::hwy)
