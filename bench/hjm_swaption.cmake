if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_hjm_swaption
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hjm_swaption_bench.cpp
    DEPS qavrek::Analytics)
endif()
