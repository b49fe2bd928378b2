qavrek_add_test(AnalyticsIdsTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/persistent_forms_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/market_id_forms_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/measures_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/change_of_measure_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/diffusion_ids_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/diffusion_id_forms_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/correlation_manager_test.cpp
  DEPS qavrek::Analytics)
