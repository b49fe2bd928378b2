if(TARGET qavrek::Vectorization)
  qavrek_add_benchmark(bench_vectorization
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/vectorization_bench.cpp
    DEPS qavrek::Vectorization)
endif()
