if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_hjm_spread_option
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/hjm_spread_option_bench.cpp
    DEPS qavrek::Analytics)
endif()
