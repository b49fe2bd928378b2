qavrek_add_benchmark(bench_random
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/random_bench.cpp
  DEPS qavrek::Random)
