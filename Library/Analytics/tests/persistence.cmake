qavrek_add_test(AnalyticsPersistenceTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/persistable_classes_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/non_finite_values_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/loading_validation_test.cpp
  DEPS qavrek::Analytics)
