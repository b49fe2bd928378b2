qavrek_add_test(AnalyticsHjmSimulatedSwaptionTests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hjm_simulated_swaption_test.cpp
  DEPS qavrek::Analytics qavrek::Instrument Boost::headers)
