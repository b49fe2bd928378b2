if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_lognormal_simulation
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lognormal_simulation_bench.cpp
    DEPS qavrek::Analytics)
endif()
