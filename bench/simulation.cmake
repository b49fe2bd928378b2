if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_simulation
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/simulation_bench.cpp
    DEPS qavrek::Analytics)
endif()
