qavrek_add_benchmark(bench_random_manager
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/random_manager_bench.cpp
  DEPS qavrek::Analytics)
