if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_cheyette_evolve
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cheyette_evolve_bench.cpp
    DEPS qavrek::Analytics)
endif()
