if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_hjm_evolve
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hjm_evolve_bench.cpp
    DEPS qavrek::Analytics)
endif()
