qavrek_add_test(AnalyticsParametersTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/day_count_convention_form_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/parameter_markovian_hjm_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/parameter_black_karasinski_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/parameter_cheyette_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/parameter_extended_cir_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/parameter_lognormal_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/negative_volatilities_test.cpp
  DEPS qavrek::Analytics)
