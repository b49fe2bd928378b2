# The HJM step is built in as well, so that one run compares the two.
if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_extended_cir_evolve
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/extended_cir_evolve_bench.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/hjm_evolve_bench.cpp
    DEPS qavrek::Analytics)
endif()
