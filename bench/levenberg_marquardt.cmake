if(TARGET qavrek::Math)
  qavrek_add_benchmark(bench_levenberg_marquardt
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/levenberg_marquardt_bench.cpp
    DEPS qavrek::Math)
endif()
