if(TARGET qavrek::Math)
  qavrek_add_benchmark(bench_banded_operations
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/banded_operations_bench.cpp
    DEPS qavrek::Math)
endif()
