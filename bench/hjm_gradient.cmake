if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_hjm_gradient
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hjm_gradient_bench.cpp
    DEPS qavrek::Analytics)
endif()
